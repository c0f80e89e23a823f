// An output file written under a temporary name beside its final one and renamed into
// place only when complete, so no partial file ever carries the final name. Missing
// directories above it are created, and removed again if the file is never committed.
#ifndef FFGLHOST_PENDING_FILE_H
#define FFGLHOST_PENDING_FILE_H

#include <string>
#include <vector>

namespace ffglhost {

class PendingFile {
  public:
    // Throws HostError when a missing directory cannot be made.
    explicit PendingFile(std::string finalPath);
    // Removes the temporary file (and directories made for it) unless committed.
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // Where to write meanwhile.
    const std::string& TemporaryPath() const { return temporaryPath_; }
    const std::string& FinalPath() const { return finalPath_; }
    // Renames the temporary file onto the final name; throws HostError on failure.
    void Commit();

  private:
    std::string finalPath_;
    std::string temporaryPath_;
    std::vector<std::string> createdDirectories_;
    bool committed_ = false;
};

}  // namespace ffglhost

#endif  // FFGLHOST_PENDING_FILE_H
