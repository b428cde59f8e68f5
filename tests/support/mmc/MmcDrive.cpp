#include "MmcDrive.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace mmc {

namespace {

struct MediumFacts
{
    Medium medium;
    const char *name;
    int profile;
    int capacity; // user-addressable sectors
    int speeds[8]; // kB/s, fastest first; 0 after the last
};
constexpr MediumFacts media[] = {
    {Medium::none, "none", 0, 0, {}},
    {Medium::cdr, "CD-R", 0x09, 359849, {9173, 8467, 7056, 5645, 4234, 2822, 1764, 706}}, // 79:59:74, less the first pre-gap
    {Medium::cdrw, "CD-RW", 0x0A, 359849, {5645, 4234, 2822, 1764, 706}},
    {Medium::dvdr, "DVD-R", 0x11, 2298496, {22160, 16620, 11080, 5540}}, // 4.7 GB
    {Medium::dvdprw, "DVD+RW", 0x1A, 2295104, {11080, 5540, 3324}},
    {Medium::bdr, "BD-R", 0x41, 12219392, {53946, 26973, 17982, 8991}}, // 25 GB
};

const MediumFacts &factsOf(Medium m)
{
    return *std::find_if(std::begin(media), std::end(media), [m](const MediumFacts &f) { return f.medium == m; });
}

// Opens through the C library's own entry points: our interposed open must
// not see the drive's own files.
int rawOpen(const std::string &path, int flags, mode_t mode = 0644)
{
    return int(::syscall(SYS_openat, AT_FDCWD, path.c_str(), flags | O_CLOEXEC, mode));
}

} // namespace

const char *mediumName(Medium m) { return factsOf(m).name; }

bool parseMedium(const std::string &name, Medium &out)
{
    for (const auto &n : media)
        if (name == n.name) {
            out = n.medium;
            return true;
        }
    return false;
}

Drive::Drive(std::string device, std::string folder, Medium medium, bool keepDisc)
    : m_device(std::move(device)), m_folder(std::move(folder))
{
    std::ifstream conf(m_folder + "/drive.conf");
    for (std::string line; std::getline(conf, line);) {
        const auto eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = line.substr(0, eq);
        const double value = std::atof(line.c_str() + eq + 1);
        if (key == "time_factor" && value > 0)
            m_timeFactor = value;
        else if (key == "buffer_kib" && value >= 64)
            m_bufferBytes = unsigned(value) * 1024;
    }
    if (keepDisc)
        loadDisc();
    else
        freshDisc(medium);
}

void Drive::freshDisc(Medium medium)
{
    m_medium = medium;
    m_status = DiscStatus::blank;
    m_formatted = false;
    m_sessions.clear();
    m_tracks.clear();
    m_mcn.clear();
    m_cdText.clear();
    ::unlink((m_folder + "/sectors.bin").c_str());
    ::unlink((m_folder + "/cdtext.bin").c_str());
    saveDisc();
}

void Drive::saveDisc() const
{
    std::ostringstream out;
    out << "medium " << mediumName(m_medium) << "\n"
        << "status " << int(m_status) << "\n"
        << "formatted " << int(m_formatted) << "\n"
        << "tray " << (m_trayOpen ? "open" : "closed") << "\n";
    if (!m_mcn.empty())
        out << "mcn " << m_mcn << "\n";
    for (const Session &s : m_sessions)
        out << "session " << s.number << ' ' << s.leadOut << "\n";
    for (const Track &t : m_tracks) {
        out << "track " << t.number << ' ' << t.session << ' ' << t.pregap << ' ' << t.start << ' ' << t.end << ' '
            << t.control << ' ' << (t.audio ? "audio" : "data") << ' ' << (t.isrc.empty() ? "-" : t.isrc) << "\n";
        for (int index : t.indexes)
            out << "index " << index << "\n";
    }
    const std::string tmp = m_folder + "/disc.txt.new";
    {
        std::ofstream file(tmp, std::ios::trunc);
        file << out.str();
    }
    ::rename(tmp.c_str(), (m_folder + "/disc.txt").c_str());

    const std::string text = m_folder + "/cdtext.bin";
    if (m_cdText.empty()) {
        ::unlink(text.c_str());
    } else {
        std::ofstream file(text, std::ios::binary | std::ios::trunc);
        for (const auto &pack : m_cdText)
            file.write(reinterpret_cast<const char *>(pack.data()), 18);
    }
}

void Drive::loadDisc()
{
    std::ifstream in(m_folder + "/disc.txt");
    if (!in) {
        freshDisc(Medium::none);
        return;
    }
    m_sessions.clear();
    m_tracks.clear();
    m_mcn.clear();
    m_cdText.clear();
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string key, word;
        int n = 0;
        words >> key;
        if (key == "medium") {
            words >> word;
            if (!parseMedium(word, m_medium))
                m_medium = Medium::none;
        } else if (key == "status" && words >> n) {
            m_status = DiscStatus(std::clamp(n, 0, 2));
        } else if (key == "formatted" && words >> n) {
            m_formatted = n != 0;
        } else if (key == "tray" && words >> word) {
            m_trayOpen = word == "open";
        } else if (key == "mcn") {
            words >> m_mcn;
        } else if (key == "session") {
            Session s;
            words >> s.number >> s.leadOut;
            m_sessions.push_back(s);
        } else if (key == "track") {
            Track t;
            std::string isrc;
            words >> t.number >> t.session >> t.pregap >> t.start >> t.end >> t.control >> word >> isrc;
            t.audio = word == "audio";
            t.isrc = isrc == "-" ? std::string() : isrc;
            m_tracks.push_back(t);
        } else if (key == "index" && !m_tracks.empty() && words >> n) {
            m_tracks.back().indexes.push_back(n);
        }
    }
    std::ifstream text(m_folder + "/cdtext.bin", std::ios::binary);
    std::array<uint8_t, 18> pack{};
    while (text.read(reinterpret_cast<char *>(pack.data()), 18))
        m_cdText.push_back(pack);
}

void Drive::appendWriteLog(const std::string &line) const
{
    std::ofstream log(m_folder + "/writes.log", std::ios::app);
    log << line << "\n";
}

int Drive::slotBytes() const { return isCd() ? 2352 : 2048; }

// One open and one transfer per command: a fast burner sends tens of
// thousands of sectors a second, and the drive's own bookkeeping must not be
// what starves its buffer.
std::vector<uint8_t> Drive::readSlots(int lba, unsigned count) const
{
    std::vector<uint8_t> slots(size_t(count) * size_t(slotBytes()), 0);
    const int fd = rawOpen(m_folder + "/sectors.bin", O_RDONLY);
    if (fd >= 0) {
        [[maybe_unused]] const ssize_t got = ::pread(fd, slots.data(), slots.size(), off_t(lba + 150) * slotBytes());
        ::close(fd);
    }
    if (m_damage == Fault::unstable)
        for (unsigned i = 0; i < count; ++i)
            if (lba + int(i) >= m_damageFrom && lba + int(i) < m_damageFrom + m_damageCount)
                for (size_t b = 0; b < size_t(slotBytes()); ++b) { // xorshift, never restarted
                    m_noise ^= m_noise << 13;
                    m_noise ^= m_noise >> 17;
                    m_noise ^= m_noise << 5;
                    slots[i * size_t(slotBytes()) + b] = uint8_t(m_noise);
                }
    return slots;
}

bool Drive::unreadable(int lba) const
{
    return m_damage == Fault::unreadable && lba >= m_damageFrom && lba < m_damageFrom + m_damageCount;
}

void Drive::writeSlots(int lba, const uint8_t *in, unsigned blockBytes, unsigned count)
{
    if (count == 0)
        return;
    const int fd = rawOpen(m_folder + "/sectors.bin", O_WRONLY | O_CREAT);
    if (fd < 0)
        return;
    const size_t slot = size_t(slotBytes());
    std::vector<uint8_t> padded;
    if (blockBytes != slot) {
        padded.assign(count * slot, 0);
        for (unsigned i = 0; i < count; ++i)
            std::memcpy(padded.data() + i * slot, in + size_t(i) * blockBytes, std::min<size_t>(blockBytes, slot));
        in = padded.data();
    }
    [[maybe_unused]] const ssize_t put = ::pwrite(fd, in, count * slot, off_t(lba + 150) * off_t(slot));
    ::close(fd);
}

bool Drive::isCd() const { return m_medium == Medium::cdr || m_medium == Medium::cdrw; }

int Drive::profile() const { return factsOf(m_medium).profile; }
int Drive::capacity() const { return factsOf(m_medium).capacity; }
std::vector<int> Drive::writeSpeeds() const
{
    const MediumFacts &f = factsOf(m_medium);
    return {f.speeds, std::find(f.speeds, std::end(f.speeds), 0)};
}

void Drive::sleepScaled(double realSeconds)
{
    if (realSeconds > 0)
        std::this_thread::sleep_for(std::chrono::duration<double>(realSeconds / m_timeFactor));
}

void Drive::startRecording(bool test, bool bufe)
{
    const std::vector<int> speeds = writeSpeeds();
    int speed = speeds.empty() ? 176 : speeds.front();
    if (m_writeSpeed > 0 && m_writeSpeed < 0xFFFF)
        for (int s : speeds)
            if (s <= m_writeSpeed + m_writeSpeed / 20) {
                speed = s;
                break;
            }
    m_test = test;
    m_bufe = bufe;
    m_recording = true;
    m_fill = 0;
    m_filledOnce = false;
    m_lowestFill = 1;
    m_underruns = m_burnFreeEvents = 0;
    // kB/s of the drive's speed table are 1000 bytes; the factor compresses time.
    m_rate = double(speed) * 1000.0 * m_timeFactor;
    m_writeSpeed = speed;
    m_drainedAt = std::chrono::steady_clock::now();
}

void Drive::drainBuffer()
{
    const auto now = std::chrono::steady_clock::now();
    const double seconds = std::chrono::duration<double>(now - m_drainedAt).count();
    m_drainedAt = now;
    if (!m_filledOnce)
        return; // recording starts once the buffer has filled
    m_fill -= seconds * m_rate;
    if (m_fill < 0)
        m_fill = 0;
}

bool Drive::feedBuffer(unsigned bytes, Result &r)
{
    if (!m_recording)
        return true;
    drainBuffer();
    if (m_filledOnce) {
        m_lowestFill = std::min(m_lowestFill, m_fill / m_bufferBytes);
        if (m_fill <= 0) {
            if (m_bufe) {
                ++m_burnFreeEvents; // the drive pauses and links on
                m_filledOnce = false;
            } else {
                ++m_underruns;
                r.status = 2;
                r.sense = {0x03, 0x0C, 0x09}; // WRITE ERROR - LOSS OF STREAMING
                return false;
            }
        }
    }
    // A full buffer holds the command until there is room, as a drive does.
    const double over = m_fill + bytes - m_bufferBytes;
    if (over > 0) {
        if (!m_filledOnce) {
            m_filledOnce = true;
            m_drainedAt = std::chrono::steady_clock::now();
        }
        std::this_thread::sleep_for(std::chrono::duration<double>(over / m_rate));
        drainBuffer();
    }
    m_fill += bytes;
    return true;
}

void Drive::finishRecording(const std::string &what)
{
    if (!m_recording)
        return;
    drainBuffer();
    if (m_filledOnce && m_fill > 0)
        std::this_thread::sleep_for(std::chrono::duration<double>(m_fill / m_rate));
    m_recording = false;
    char line[256];
    std::snprintf(line, sizeof line, "%s speed=%d test=%d bufe=%d lowest_fill=%.3f underruns=%d burnfree=%d",
                  what.c_str(), m_writeSpeed, int(m_test), int(m_bufe), m_filledOnce || m_lowestFill < 1 ? m_lowestFill : 1.0,
                  m_underruns, m_burnFreeEvents);
    appendWriteLog(line);
}

const Track *Drive::trackAt(int lba) const
{
    for (const Track &t : m_tracks)
        if (lba >= t.pregap && lba < t.end)
            return &t;
    return nullptr;
}

int Drive::lastTrackNumber() const
{
    if (!m_pending.empty())
        return m_pending.back().number;
    return m_tracks.empty() ? 0 : m_tracks.back().number;
}

int Drive::nextWritable() const
{
    if (!m_pending.empty())
        return m_writing ? m_writeNext : m_pending.back().end + (isCd() ? 152 : 0);
    if (m_sessions.empty())
        return 0;
    const int leadOut = m_sessions.back().leadOut;
    if (!isCd())
        return leadOut;
    return leadOut + (m_sessions.size() == 1 ? 11400 : 6900);
}

void Drive::opened()
{
    std::lock_guard lock(m_mutex);
    if (m_handles++ == 0 && !m_writing)
        loadDisc();
}

void Drive::closed()
{
    std::lock_guard lock(m_mutex);
    --m_handles; // only handles opened() are closed
}

int Drive::trayStatus() const
{
    std::lock_guard lock(m_mutex);
    return m_trayOpen ? 2 : m_medium == Medium::none ? 1 : 4;
}

void Drive::closeTray()
{
    std::lock_guard lock(m_mutex);
    if (!m_trayOpen)
        return;
    m_trayOpen = false;
    m_unitAttention = m_mediaEvent = true;
    saveDisc();
}

void Drive::insert(Medium medium)
{
    std::lock_guard lock(m_mutex);
    m_writing = false;
    m_pending.clear();
    m_trayOpen = false;
    m_unitAttention = m_mediaEvent = true;
    freshDisc(medium);
}

void Drive::arm(Fault fault, int afterCommands, int count)
{
    std::lock_guard lock(m_mutex);
    m_fault = fault;
    m_faultAfter = afterCommands;
    m_faultCount = count;
}

void Drive::damage(Fault fault, int lba, int count)
{
    std::lock_guard lock(m_mutex);
    m_damage = fault;
    m_damageFrom = lba;
    m_damageCount = count;
}

double Drive::timeFactor() const
{
    std::lock_guard lock(m_mutex);
    return m_timeFactor;
}

} // namespace mmc
