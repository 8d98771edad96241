#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

// A fresh folder under /tmp, removed with everything in it when the object goes.
class ScratchFolder {
  public:
    ScratchFolder() {
        char name[] = "/tmp/quorvel-test-XXXXXX";
        if (::mkdtemp(name) != nullptr) {
            path_ = name;
        }
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // Empty when no folder could be made.
    const std::string& Path() const { return path_; }
    std::string FilePath(const std::string& name) const { return path_ + "/" + name; }
    std::filesystem::path operator/(const std::string& name) const {
        return std::filesystem::path(path_) / name;
    }

  private:
    std::string path_;
};
