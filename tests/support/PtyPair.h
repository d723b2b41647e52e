// A pseudo-terminal pair for tests: the master side is the far end of the line (a test or the
// recorder simulator reads and writes it), the slave path is what a port opens. Both sides
// start raw. By default the fixture also holds the slave open itself, so that the far end sees
// no hang-up while the port under test is closed and reopened.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class PtyPair {
public:
    explicit PtyPair(bool holdSlave = true);
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    // Non-blocking; -1 after CloseMaster.
    int MasterFd() const { return master_; }
    const std::string& SlavePath() const { return slavePath_; }

    // The far side goes away: the master is closed (and the fixture's own slave descriptor).
    void CloseMaster();
    // A pulled adapter: the far side goes away, and link (a COMn link of a ports folder) dangles
    // as a /dev/serial/by-id link does.
    void Unplug(const std::string& link);
    // Put back: a new pair takes the place of the old one, with another slave path, and link
    // points at it.
    void Replug(const std::string& link);

    // Writes all bytes to the master, waiting for room up to timeoutMs; false when not all
    // could be written.
    bool Write(const void* data, std::size_t length, int timeoutMs = 2000);
    bool Write(const std::string& text, int timeoutMs = 2000);
    // Reads from the master until n bytes came or timeoutMs passed without completing them;
    // returns what came.
    std::vector<std::uint8_t> Read(std::size_t n, int timeoutMs = 2000);
    // Reads whatever arrives until the line has been quiet for quietMs.
    std::vector<std::uint8_t> ReadUntilQuiet(int quietMs = 100, int timeoutMs = 2000);

private:
    void OpenPair();
    void WaitReadable(int ms) const;

    bool holdSlave_;
    int master_ = -1;
    int heldSlave_ = -1;
    std::string slavePath_;
};
