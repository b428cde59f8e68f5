#pragma once
// An optical drive in user space, at the level of SCSI MMC commands: what a
// burner answers through ioctl(SG_IO) on /dev/srN. Test support only; the
// interposer (MmcInterposer.cpp) routes a program's open/stat/ioctl of an
// emulated device path here, so libburn, cdrskin and cdrdao drive it exactly
// as they drive real hardware.
//
// The disc lives in a state folder as plain files, so one process can burn
// and another read back:
//   disc.txt     medium, status, sessions, tracks, indexes, ISRC, MCN
//   sectors.bin  sparse, one slot per sector from LBA -150 (2352 bytes on CD,
//                2048 on DVD and BD); audio raw, data as user bytes
//   cdtext.bin   the CD-Text packs found in the lead-in, 18 bytes each
//   writes.log   one line per recording: mode, test write, BUFE, speed,
//                lowest buffer fill, underruns, BURN-Free events
//   drive.conf   optional settings written before the drive is made:
//                time_factor=N (recording, and the waits of the programs
//                driving it, N times faster than real time), buffer_kib=N
//
// Threading: a drive serialises its commands with its own mutex, as a real
// drive handles one command at a time; commands that take time (a full
// buffer, closing) sleep on the calling thread, while blanking and
// formatting answer at once and leave the drive busy.

#include <array>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace mmc {

enum class Medium { none, cdr, cdrw, dvdr, dvdprw, bdr };

const char *mediumName(Medium m);
bool parseMedium(const std::string &name, Medium &out);

enum class DiscStatus { blank = 0, appendable = 1, complete = 2 };

struct Track
{
    int number = 1;
    int session = 1;
    int pregap = 0;   // LBA of INDEX 00, == start when the track has none
    int start = 0;    // LBA of INDEX 01
    int end = 0;      // first LBA after the track
    int control = 0;  // Q control nibble: 4 data, 2 copy permitted, 1 pre-emphasis
    bool audio = true;
    std::string isrc; // 12 characters, or empty
    std::vector<int> indexes; // LBAs of INDEX 02, 03, ...
};

struct Session
{
    int number = 1;
    int leadOut = 0; // LBA of the lead-out
};

// What a fault does to the next matching command (Drive::arm).
enum class Fault {
    none,
    writeError,       // a WRITE fails with MEDIUM ERROR, write error
    mediumRemoved,    // the disc leaves the drive during a READ CD
    becomingReady,    // NOT READY, becoming ready, to `count` TEST UNIT READYs and what needs the disc
    // Damage to sectors of the disc (Drive::damage), not to one command:
    unreadable,       // READ CD and READ(10) of them fail with MEDIUM ERROR, unrecovered read error
    unstable,         // they read back different bytes every time
};

struct Sense
{
    uint8_t key = 0, asc = 0, ascq = 0;
    int progress = -1; // 0…65535 while a long operation runs
};

struct Result
{
    uint8_t status = 0; // 0 GOOD, 2 CHECK CONDITION
    Sense sense;
    unsigned transferred = 0; // bytes moved to or from the host
};

enum class Direction { none, toDrive, fromDrive };

class Drive
{
public:
    // Loads the disc from `folder`, or puts a fresh disc of `medium` in it
    // (Medium::none: an empty tray) unless `keepDisc`.
    Drive(std::string device, std::string folder, Medium medium, bool keepDisc);

    const std::string &device() const { return m_device; }
    const std::string &folder() const { return m_folder; }

    Result execute(const uint8_t *cdb, unsigned cdbLen, Direction dir, uint8_t *data, unsigned length);

    // The device was opened by a process: the disc is read again from the
    // folder when no handle was open, so another process's burn shows.
    void opened();
    void closed();
    // CDROM_DRIVE_STATUS: 1 no disc, 2 tray open, 4 disc ok.
    int trayStatus() const;

    // Control, as a person at the drive would: a test calls these directly.
    void closeTray();
    // Opens the tray, puts a fresh disc of `medium` in and closes it.
    void insert(Medium medium);
    void arm(Fault fault, int afterCommands = 0, int count = 1);
    // Sectors [lba, lba + count) become unreadable or unstable until damaged
    // again (Fault::none heals them). Kept by this process's drive only.
    void damage(Fault fault, int lba, int count);
    double timeFactor() const;

private:
    friend struct Commands;

    // State folder.
    void loadDisc();
    void saveDisc() const;
    void freshDisc(Medium medium);
    void appendWriteLog(const std::string &line) const;
    int slotBytes() const;
    // Zeros where nothing was written, noise in unstable sectors.
    std::vector<uint8_t> readSlots(int lba, unsigned count) const;
    bool unreadable(int lba) const;
    void writeSlots(int lba, const uint8_t *in, unsigned blockBytes, unsigned count);

    // Medium facts.
    bool isCd() const;
    int profile() const;
    int capacity() const;     // user-addressable sectors
    std::vector<int> writeSpeeds() const; // kB/s, fastest first

    // Buffer model. A recording starts at the speed asked for (m_writeSpeed).
    void startRecording(bool test, bool bufe);
    bool feedBuffer(unsigned bytes, Result &r); // false: underrun stopped the write
    void drainBuffer();
    void finishRecording(const std::string &what);
    void sleepScaled(double realSeconds);

    // The disc as written so far in this session.
    const Track *trackAt(int lba) const;
    int nextWritable() const;
    int lastTrackNumber() const;

    std::string m_device, m_folder;
    mutable std::mutex m_mutex;
    int m_handles = 0;
    double m_timeFactor = 1;
    unsigned m_bufferBytes = 4u << 20;

    // Tray and disc.
    bool m_trayOpen = false;
    Medium m_medium = Medium::none;
    DiscStatus m_status = DiscStatus::blank;
    bool m_formatted = false;      // DVD+RW
    std::vector<Session> m_sessions;
    std::vector<Track> m_tracks;
    std::string m_mcn;
    std::vector<std::array<uint8_t, 18>> m_cdText;
    bool m_unitAttention = false;  // the next command learns of a medium change
    bool m_mediaEvent = false;     // for GET EVENT STATUS NOTIFICATION

    // Faults.
    Fault m_fault = Fault::none;
    int m_faultAfter = 0, m_faultCount = 0;
    Fault m_damage = Fault::none;
    int m_damageFrom = 0, m_damageCount = 0;
    mutable uint32_t m_noise = 1; // a new pattern for every read of an unstable sector

    // Long operations.
    std::chrono::steady_clock::time_point m_busyFrom, m_busyUntil;

    // Writing.
    // The write parameters page as a drive starts: track at once, data.
    std::array<uint8_t, 64> m_page05{0x05, 0x32, 0x01, 0x04, 0x08, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 150};
    int m_writeSpeed = 0; // kB/s as asked
    struct CuePoint
    {
        int track, index, form, lba;
        uint8_t ctl;
    };
    std::vector<CuePoint> m_cue;
    std::string m_cueMcn;
    int m_writeNext = 0;           // next LBA the host must write
    bool m_writing = false;        // a track or session is open
    bool m_sessionDirty = false;
    int m_reservedEnd = 0;         // DVD-R/BD-R: end of the reserved track
    std::vector<Track> m_pending;  // tracks of the open session
    std::vector<std::array<uint8_t, 18>> m_pendingText;

    // The buffer.
    bool m_recording = false;
    double m_fill = 0; // bytes
    double m_rate = 0; // bytes per second of real time, scaled
    std::chrono::steady_clock::time_point m_drainedAt;
    double m_lowestFill = 1;
    bool m_filledOnce = false;
    int m_underruns = 0, m_burnFreeEvents = 0;
    bool m_test = false, m_bufe = false;
};

// The drives of this process, made from TANDOR_EMULATED_DRIVES on first use.
// nullptr for a path that is not an emulated device.
Drive *driveFor(const char *path);

} // namespace mmc
