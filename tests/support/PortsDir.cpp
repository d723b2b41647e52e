#include "support/PortsDir.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <unistd.h>

PortsDir::PortsDir() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/livat-ports-XXXXXX";
    if (!mkdtemp(pattern.data())) throw std::runtime_error("no temporary ports folder");
    path_ = pattern;
    if (const char* old = std::getenv("LIVAT_PORTS_DIR")) {
        hadOld_ = true;
        old_ = old;
    }
    setenv("LIVAT_PORTS_DIR", path_.c_str(), 1);
}

PortsDir::~PortsDir() {
    if (hadOld_)
        setenv("LIVAT_PORTS_DIR", old_.c_str(), 1);
    else
        unsetenv("LIVAT_PORTS_DIR");
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string PortsDir::LinkPath(int comNumber) const {
    return path_ + "/COM" + std::to_string(comNumber);
}

std::string PortsDir::Link(int comNumber, const std::string& target) {
    const std::string link = LinkPath(comNumber);
    unlink(link.c_str());
    if (symlink(target.c_str(), link.c_str()) != 0) throw std::runtime_error("cannot link " + link);
    return link;
}

void PortsDir::Unlink(int comNumber) {
    unlink(LinkPath(comNumber).c_str());
}
