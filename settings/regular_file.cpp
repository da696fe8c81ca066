#include "settings/regular_file.h"

namespace skyfault {

RegularFile::RegularFile(const std::string& path) {
    if (path.empty()) {
        status_ = Status::Missing;
        error_ = "no file name";
    } else if (path.find('\0') != std::string::npos) {
        error_ = "\"" + path + "\" holds a NUL byte";  // the file API would see a shorter name
    } else {
        Open(path);
    }
}

}  // namespace skyfault
