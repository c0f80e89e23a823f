// The outputs of one run, written under hidden names and moved into place only when the
// whole run has succeeded. Until then no existing file is changed or deleted: a file
// output is written as ".ffgl-host-TAG-NAME" beside its final name, a frame directory
// as the hidden sibling directory ".ffgl-host-TAG-NAME". Commit moves everything into
// place (a replaced file keeps its permissions; until the commit is complete it waits
// under ".ffgl-host-TAG-NAME.replaced", or in the staging directory's ".replaced"
// folder); Discard removes every staged entry and the directories made for the run,
// leaving the folders as they were.
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
    // in the final directory. All or nothing: when a move fails, what was moved goes
    // back (replaced files included) and HostError names the file and the reason.
    void Commit();
    // Removes what the run staged and the directories Prepare made. Never throws.
    void Discard() noexcept;
    // Removes the staged entries ".ffgl-host-PID-..." beside the outputs that were left
    // by runs whose process no longer exists (a SIGKILL leaves them); those of running
    // processes stay. Answers the paths removed.
    std::vector<std::string> RemoveLeftovers() const;

  private:
    // One entry moved into place; `replaced` holds what it replaced, if anything.
    struct Move {
        std::string staged;
        std::string target;
        std::string replaced;
    };
    void MoveIntoPlace(const std::string& staged, const std::string& target,
                       const std::string& replaced, std::vector<Move>& moves);
    // Puts every move back, last first; answers the targets that could not be restored.
    static std::vector<std::string> Undo(const std::vector<Move>& moves) noexcept;

    std::string tag_;
    std::vector<StagedOutput> outputs_;
    std::vector<std::string> createdDirectories_;  // outermost first
};

}  // namespace ffglhost

#endif  // FFGLHOST_STAGED_OUTPUTS_H
