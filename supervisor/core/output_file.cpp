// Writing an export without following a link, overwriting only on request.
#include "supervisor/core/output_file.h"

#include <cstdio>
#include <filesystem>

#include "runtime/platform/platform.h"

namespace qv::ctl {

namespace fs = std::filesystem;

bool writeOutputFile(const std::string& path, const std::string& text, bool overwrite, const std::string& input,
                     std::string& error) {
    std::error_code problem;
    const fs::file_status found = fs::symlink_status(path, problem);
    const bool exists = fs::exists(found);
    if (fs::is_symlink(found)) {
        error = path + " is a symbolic link; qvctl does not write through it";
        return false;
    }
    if (exists && !fs::is_regular_file(found)) {
        error = path + " is not a regular file; qvctl writes only regular files";
        return false;
    }
    if (exists && !input.empty() && fs::equivalent(path, input, problem)) {
        error = path + " is the trace being read; write the export to another file";
        return false;
    }
    if (exists && !overwrite) {
        error = path + " exists; --force overwrites it";
        return false;
    }
    // A new file is created only where nothing stands ("x": O_EXCL, which follows no
    // link); an existing one is opened without following a link and only when regular.
    std::FILE* out = nullptr;
    if (!exists) {
        out = std::fopen(path.c_str(), "wbx");
        if (out == nullptr) {
            error = fs::exists(fs::symlink_status(path, problem))
                        ? path + " appeared while qvctl was writing it; nothing was written"
                        : "cannot write " + path;
            return false;
        }
    } else {
        platform::OpenedFile opened = platform::createRegularFile(path);
        if (opened.file == nullptr) {
            error = opened.symbolicLink ? path + " is a symbolic link; qvctl does not write through it"
                    : opened.notRegular ? path + " is not a regular file; qvctl writes only regular files"
                                        : "cannot write " + path;
            return false;
        }
        out = opened.file;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
    if (std::fclose(out) != 0 || !written) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace qv::ctl
