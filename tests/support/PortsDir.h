// A temporary ports folder: LIVAT_PORTS_DIR points at it for the fixture's life (the earlier
// value comes back afterwards), and COMn links in it point at test devices.
#pragma once

#include <string>

class PortsDir {
public:
    PortsDir();
    ~PortsDir();
    PortsDir(const PortsDir&) = delete;
    PortsDir& operator=(const PortsDir&) = delete;

    const std::string& Path() const { return path_; }
    // Links COM<comNumber> to target (replacing an earlier link); returns the link's path.
    std::string Link(int comNumber, const std::string& target);
    void Unlink(int comNumber);

private:
    std::string LinkPath(int comNumber) const;

    std::string path_;
    bool hadOld_ = false;
    std::string old_;
};
