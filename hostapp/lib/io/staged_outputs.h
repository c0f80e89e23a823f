// The outputs of one run, written under hidden names and moved into place only when the
// whole run has succeeded. Until then no existing file is changed or deleted: a file
// output is written as ".ffgl-host-TAG-NAME" beside its final name, a frame directory
// as the hidden sibling directory ".ffgl-host-TAG-NAME". Commit moves everything into
// place (a replaced file keeps its permissions); Discard removes every staged entry and
// the directories made for the run, leaving the folders as they were.
#ifndef FFGLHOST_STAGED_OUTPUTS_H
#define FFGLHOST_STAGED_OUTPUTS_H

#include <string>
#include <vector>

namespace ffglhost {

struct StagedOutput {
    std::string finalPath;   // as the user named it
    std::string stagedPath;  // where the run writes it
    bool directory = false;  // a directory of files rather than one file
};

class StagedOutputs {
  public:
    // `tag` makes the staged names unique to the run (the process id, say).
    explicit StagedOutputs(std::string tag) : tag_(std::move(tag)) {}

    // Plans an output; nothing is touched yet. The answer stays valid until the next Add.
    const StagedOutput& Add(const std::string& finalPath, bool directory);
    const std::vector<StagedOutput>& Outputs() const { return outputs_; }

    // Makes the missing directories above the outputs and the staging directories.
    // Throws HostError naming the output and the system's reason.
    void Prepare();
    // Moves every staged output into place; a directory's files join the files already
    // in the final directory. Throws HostError naming the output and the reason.
    void Commit();
    // Removes what the run staged and the directories Prepare made. Never throws.
    void Discard() noexcept;

  private:
    std::string tag_;
    std::vector<StagedOutput> outputs_;
    std::vector<std::string> createdDirectories_;  // outermost first
};

}  // namespace ffglhost

#endif  // FFGLHOST_STAGED_OUTPUTS_H
