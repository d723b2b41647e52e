#include "support/RecorderSim.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr std::uint16_t kTimeRegister = 0x040A;
constexpr std::uint16_t kDateRegister = 0x040E;
constexpr std::size_t kLinkFrameLength = 11;
constexpr std::size_t kMaxPending = 4096;
// The recorder's own copy of the link constant K0 K1 K2 that its firmware checks requests with.
constexpr std::uint8_t kLinkConstant[3] = {0x5A, 0xA5, 0x3C};
// Silence that ends a run of bytes which is no complete request.
constexpr auto kFrameGap = std::chrono::milliseconds(30);

std::uint16_t Word(const std::uint8_t* p) {
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

void PutWord(std::vector<std::uint8_t>& v, std::uint16_t w) {
    v.push_back(static_cast<std::uint8_t>(w >> 8));
    v.push_back(static_cast<std::uint8_t>(w & 0xFF));
}

bool IsLinkFunction(std::uint8_t f) {
    return f == 0x03 || f == 0x06 || f == 0x08;
}

} // namespace

RecorderSim::RecorderSim() = default;

RecorderSim::~RecorderSim() {
    Stop();
}

void RecorderSim::Serve(int fd) {
    Stop();
    stop_ = false;
    thread_ = std::thread([this, fd] { ServeLoop(fd); });
}

void RecorderSim::Stop() {
    {
        std::lock_guard lock(m_);
        stop_ = true;
    }
    cv_.notify_all();
    if (thread_.joinable()) thread_.join();
}

// A bitwise CRC-16/MODBUS, written independently of the link's table-driven one.
std::uint16_t RecorderSim::Crc(const std::uint8_t* data, std::size_t length) {
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001)
                            : static_cast<std::uint16_t>(crc >> 1);
    }
    return crc;
}

// 0 while the length cannot be told yet or the function is unknown.
std::size_t RecorderSim::ExpectedLength(const std::vector<std::uint8_t>& buf) {
    if (buf.size() < 2) return 0;
    if (IsLinkFunction(buf[1])) return kLinkFrameLength;
    if (buf[1] == 0x10 && buf.size() >= 6) return 9 + 2 * std::size_t{Word(&buf[4])};
    return 0;
}

bool RecorderSim::InRange(std::uint16_t first, int count) {
    const int last = first + count - 1;
    if (count < 1) return false;
    return (first >= MeasurementFirst && last <= MeasurementLast) ||
           (first >= ParamFirst && last <= ParamLast);
}

bool RecorderSim::Valid(const std::uint8_t* frame, std::size_t length) const {
    if (length < 4) return false;
    const std::uint8_t function = frame[1];
    if (IsLinkFunction(function)) {
        if (length != kLinkFrameLength) return false;
        const std::uint8_t* k = kLinkConstant;
        std::uint8_t covered[9];
        std::memcpy(covered, frame, 7);
        covered[7] = k[1];
        covered[8] = k[2];
        const std::uint16_t crc = Crc(covered, sizeof covered);
        const bool clock = function == 0x06 &&
                           (Word(&frame[2]) == kTimeRegister || Word(&frame[2]) == kDateRegister);
        return Word(&frame[7]) == crc && Word(&frame[9]) == crc && (clock || frame[6] == k[0]);
    }
    if (function == 0x10) {
        if (length < 9) return false; // too short to hold its own count
        const std::size_t n = Word(&frame[4]);
        if (length != 9 + 2 * n || frame[6] != static_cast<std::uint8_t>(2 * n)) return false;
    }
    return Word(&frame[length - 2]) == Crc(frame, length - 2);
}

SimReply RecorderSim::Respond(const std::uint8_t* frame, std::size_t length) {
    std::lock_guard lock(m_);
    if (!Valid(frame, length)) {
        ++badFrames_;
        cv_.notify_all();
        return {};
    }
    frames_.emplace_back(frame, frame + length);
    cv_.notify_all();
    if (frame[0] != Address) return {};
    const SimFault fault = NextFault();
    switch (fault) {
    case SimFault::NoReply:
        return {};
    case SimFault::Exception1:
        return Shape(Exception(frame[1], 1), fault);
    case SimFault::Exception2:
        return Shape(Exception(frame[1], 2), fault);
    case SimFault::Exception4:
        return Shape(Exception(frame[1], 4), fault);
    default:
        return Shape(Answer(frame, length), fault);
    }
}

SimFault RecorderSim::NextFault() {
    if (queued_.empty()) return persistent_;
    const SimFault f = queued_.front();
    queued_.pop_front();
    return f;
}

std::vector<std::uint8_t> RecorderSim::Answer(const std::uint8_t* frame, std::size_t) {
    switch (frame[1]) {
    case 0x03:
        return ReadReply(frame);
    case 0x06:
        return WriteOneReply(frame);
    case 0x08:
        return DiagnosticsReply(frame);
    case 0x10:
        return WriteManyReply(frame);
    default:
        return Exception(frame[1], 1);
    }
}

std::vector<std::uint8_t> RecorderSim::ReadReply(const std::uint8_t* frame) {
    const std::uint16_t first = Word(&frame[2]);
    const int count = Word(&frame[4]);
    if (count < 1 || count > 125) return Exception(frame[1], 3);
    if (!InRange(first, count)) return Exception(frame[1], 2);
    std::vector<std::uint8_t> reply{Address, 0x03, static_cast<std::uint8_t>(2 * count)};
    for (int i = 0; i < count; ++i)
        PutWord(reply, Slot(static_cast<std::uint16_t>(first + i)));
    AppendCrc(reply);
    return reply;
}

std::vector<std::uint8_t> RecorderSim::WriteOneReply(const std::uint8_t* frame) {
    const std::uint16_t reg = Word(&frame[2]);
    if (reg == kTimeRegister || reg == kDateRegister) {
        // Three clock bytes: second, minute, hour or day, month, year.
        for (int i = 0; i < 3; ++i)
            Slot(static_cast<std::uint16_t>(reg + i)) = frame[4 + i];
    } else if (InRange(reg, 1)) {
        Slot(reg) = Word(&frame[4]);
    } else {
        return Exception(frame[1], 2);
    }
    std::vector<std::uint8_t> reply(frame, frame + 6);
    AppendCrc(reply);
    return reply;
}

std::vector<std::uint8_t> RecorderSim::DiagnosticsReply(const std::uint8_t* frame) {
    if (Word(&frame[2]) != 0x0002) return Exception(frame[1], 1);
    std::vector<std::uint8_t> reply{Address, 0x08, 0x00, 0x02};
    PutWord(reply, diagWord_);
    AppendCrc(reply);
    return reply;
}

std::vector<std::uint8_t> RecorderSim::WriteManyReply(const std::uint8_t* frame) {
    const std::uint16_t first = Word(&frame[2]);
    const int count = Word(&frame[4]);
    if (count < 1 || count > 123) return Exception(frame[1], 3);
    if (!InRange(first, count)) return Exception(frame[1], 2);
    for (int i = 0; i < count; ++i)
        Slot(static_cast<std::uint16_t>(first + i)) = Word(&frame[7 + 2 * i]);
    std::vector<std::uint8_t> reply(frame, frame + 6);
    AppendCrc(reply);
    return reply;
}

std::vector<std::uint8_t> RecorderSim::Exception(std::uint8_t function, std::uint8_t code) {
    std::vector<std::uint8_t> reply{Address, static_cast<std::uint8_t>(function | 0x80), code};
    AppendCrc(reply);
    return reply;
}

// High byte first, as the recorder's link carries it.
void RecorderSim::AppendCrc(std::vector<std::uint8_t>& reply) {
    PutWord(reply, Crc(reply.data(), reply.size()));
}

SimReply RecorderSim::Shape(std::vector<std::uint8_t> reply, SimFault fault) const {
    SimReply r;
    switch (fault) {
    case SimFault::WrongCrc:
        reply.back() ^= 0xFF;
        break;
    case SimFault::CrcLowFirst:
        std::swap(reply[reply.size() - 2], reply[reply.size() - 1]);
        break;
    case SimFault::OtherAddress:
        reply[0] = 2;
        reply.resize(reply.size() - 2);
        AppendCrc(reply);
        break;
    case SimFault::SplitReply:
        r.Pieces = 3;
        break;
    case SimFault::LateReply:
        r.DelayMs = lateDelayMs_;
        break;
    case SimFault::HeldReply:
        r.Held = true;
        break;
    case SimFault::TrailingGarbage:
        reply.insert(reply.end(), {0x00, 0xFF, 0x55});
        break;
    case SimFault::ShortReply:
        if (reply[1] == 0x03 && reply.size() > 7) {
            reply.resize(5);
            reply[2] = 2;
            AppendCrc(reply);
        }
        break;
    default:
        break;
    }
    r.Bytes = std::move(reply);
    return r;
}

std::uint16_t& RecorderSim::Slot(std::uint16_t reg) {
    if (reg <= MeasurementLast) return measurements_[reg - MeasurementFirst];
    if (reg >= ParamFirst && reg <= ParamLast) return params_[reg - ParamFirst];
    outside_ = 0;
    return outside_;
}

void RecorderSim::SetRegister(std::uint16_t reg, std::uint16_t value) {
    std::lock_guard lock(m_);
    Slot(reg) = value;
}

std::uint16_t RecorderSim::Register(std::uint16_t reg) const {
    std::lock_guard lock(m_);
    return const_cast<RecorderSim*>(this)->Slot(reg);
}

void RecorderSim::SetMeasurement(int k, float value) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    SetMeasurementBits(k, bits);
}

void RecorderSim::SetMeasurementBits(int k, std::uint32_t bits) {
    if (k < 0 || 2 * k + 1 > MeasurementLast) return;
    std::lock_guard lock(m_);
    measurements_[2 * k] = static_cast<std::uint16_t>(bits >> 16);
    measurements_[2 * k + 1] = static_cast<std::uint16_t>(bits & 0xFFFF);
}

void RecorderSim::SetDiagnosticWord(std::uint16_t word) {
    std::lock_guard lock(m_);
    diagWord_ = word;
}

void RecorderSim::QueueFault(SimFault fault, int times) {
    std::lock_guard lock(m_);
    for (int i = 0; i < times; ++i)
        queued_.push_back(fault);
}

void RecorderSim::SetPersistentFault(SimFault fault) {
    std::lock_guard lock(m_);
    persistent_ = fault;
}

void RecorderSim::ClearFaults() {
    std::lock_guard lock(m_);
    queued_.clear();
    persistent_ = SimFault::None;
}

void RecorderSim::SetLateDelay(unsigned ms) {
    std::lock_guard lock(m_);
    lateDelayMs_ = ms;
}

void RecorderSim::SetSplitPause(unsigned ms) {
    std::lock_guard lock(m_);
    splitPauseMs_ = ms;
}

void RecorderSim::SetPace(const SimPace& pace) {
    std::lock_guard lock(m_);
    pace_ = pace;
    pace_.ChunkBytes = std::max(1u, pace.ChunkBytes);
}

int RecorderSim::FramesReceived() const {
    std::lock_guard lock(m_);
    return static_cast<int>(frames_.size());
}

int RecorderSim::FramesReceived(std::uint8_t function) const {
    std::lock_guard lock(m_);
    return static_cast<int>(std::count_if(frames_.begin(), frames_.end(),
                                          [&](const auto& f) { return f[1] == function; }));
}

int RecorderSim::BadFrames() const {
    std::lock_guard lock(m_);
    return badFrames_;
}

std::vector<std::vector<std::uint8_t>> RecorderSim::Frames() const {
    std::lock_guard lock(m_);
    return frames_;
}

void RecorderSim::ClearCounts() {
    std::lock_guard lock(m_);
    frames_.clear();
    badFrames_ = 0;
}

bool RecorderSim::WaitForFrames(int n, unsigned timeoutMs) const {
    std::unique_lock lock(m_);
    return cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                        [&] { return static_cast<int>(frames_.size()) >= n; });
}

void RecorderSim::ServeLoop(int fd) {
    using clock = std::chrono::steady_clock;
    std::vector<std::uint8_t> pending;
    auto lastByte = clock::now();
    while (!stop_) {
        pollfd p{fd, POLLIN, 0};
        const int r = ::poll(&p, 1, 5);
        if (r > 0 && (p.revents & POLLIN)) {
            std::uint8_t buf[512];
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n > 0) {
                pending.insert(pending.end(), buf, buf + n);
                lastByte = clock::now();
                TakeFrames(pending, false, fd);
                continue;
            }
        }
        if (r < 0 && errno != EINTR) break;
        if (r > 0) {
            // Nobody holds the other side open (EIO, hang-up): wait for a new opener.
            PauseFor(10);
            continue;
        }
        if (!pending.empty() && clock::now() - lastByte >= kFrameGap) TakeFrames(pending, true, fd);
    }
}

// Takes complete requests off the front of pending and answers them. Bytes that make no request
// are skipped one at a time until a request lines up. A run of an unknown function is judged
// after a silence, when it is known to be complete.
void RecorderSim::TakeFrames(std::vector<std::uint8_t>& pending, bool silence, int fd) {
    bool skipping = false;
    auto skip = [&] {
        if (!skipping) {
            std::lock_guard lock(m_);
            ++badFrames_;
        }
        skipping = true;
        pending.erase(pending.begin());
    };
    while (!pending.empty()) {
        const std::size_t len = ExpectedLength(pending);
        if (len != 0 && pending.size() >= len) {
            if (!Valid(pending.data(), len)) {
                skip();
                continue;
            }
            const SimReply reply = Respond(pending.data(), len);
            pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(len));
            skipping = false;
            if (!SendReply(fd, reply)) return;
            continue;
        }
        if (!silence && pending.size() < kMaxPending) return;
        if (len == 0 && Valid(pending.data(), pending.size())) {
            const SimReply reply = Respond(pending.data(), pending.size());
            pending.clear();
            SendReply(fd, reply);
            return;
        }
        skip();
    }
}

// A held reply goes out just before the next answer, as one more piece of the line's traffic.
bool RecorderSim::SendReply(int fd, const SimReply& reply) {
    if (reply.Held || (reply.Bytes.empty() && held_.empty())) {
        if (reply.Held) held_ = reply.Bytes;
        Answered(0);
        return true;
    }
    unsigned pause = 0;
    SimPace pace;
    {
        std::lock_guard lock(m_);
        pause = splitPauseMs_;
        pace = pace_;
    }
    if (reply.DelayMs > 0) Answered(0);
    if (!PauseFor(reply.DelayMs + pace.TurnaroundMs)) return false;
    const std::size_t onTime = held_.size() + reply.Bytes.size();
    if (!held_.empty() && !WritePaced(fd, held_.data(), held_.size(), pace)) return false;
    held_.clear();
    const std::size_t pieces = static_cast<std::size_t>(std::max(1, reply.Pieces));
    const std::size_t total = reply.Bytes.size();
    std::size_t sent = 0;
    for (std::size_t i = 0; i < pieces && sent < total; ++i) {
        if (i > 0 && !PauseFor(pause)) return false;
        const std::size_t end =
            i + 1 == pieces ? total : std::max(sent + 1, total * (i + 1) / pieces);
        if (!WritePaced(fd, reply.Bytes.data() + sent, end - sent, pace)) return false;
        sent = end;
    }
    if (reply.DelayMs == 0) Answered(onTime);
    return true;
}

void RecorderSim::Answered(std::size_t onTimeBytes) {
    std::lock_guard lock(m_);
    ++answered_;
    onTime_ = onTimeBytes;
}

std::function<bool(std::uint32_t, std::int32_t)> RecorderSim::ReplyHook() {
    std::lock_guard lock(m_);
    return [this, base = answered_](std::uint32_t sent, std::int32_t held) {
        std::lock_guard answers(m_);
        return answered_ - base >= sent && held >= static_cast<std::int32_t>(onTime_);
    };
}

// Each chunk is due when the bytes before it have had their time on the line; a chunk that
// falls behind (a busy machine) goes out at once, so the reply keeps the line's speed overall.
bool RecorderSim::WritePaced(int fd, const std::uint8_t* bytes, std::size_t length,
                             const SimPace& pace) {
    if (pace.Baud == 0) return WriteAll(fd, bytes, length);
    using clock = std::chrono::steady_clock;
    const auto start = clock::now();
    for (std::size_t at = 0; at < length;) {
        const std::size_t n = std::min<std::size_t>(pace.ChunkBytes, length - at);
        if (!WriteAll(fd, bytes + at, n)) return false;
        at += n;
        const auto lineTime = std::chrono::microseconds(at * 10 * 1000000 / pace.Baud);
        std::this_thread::sleep_until(start + lineTime);
        if (stop_) return false;
    }
    return true;
}

// False only when stopping; a far side that went away loses the bytes, as on a real line.
bool RecorderSim::WriteAll(int fd, const std::uint8_t* bytes, std::size_t length) {
    std::size_t sent = 0;
    while (sent < length) {
        const ssize_t n = ::write(fd, bytes + sent, length - sent);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EAGAIN) {
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, 10);
            if (stop_) return false;
        } else if (n < 0 && errno != EINTR) {
            return true;
        }
    }
    return true;
}

// Sleeps unless Stop comes first; false when stopping.
bool RecorderSim::PauseFor(unsigned ms) {
    std::unique_lock lock(m_);
    return !cv_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return stop_.load(); });
}
