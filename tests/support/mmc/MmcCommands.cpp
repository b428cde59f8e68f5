// The drive's command table: one small function per MMC opcode, after the
// public MMC drafts and what libburn, cdrskin and cdrdao are seen to send.

#include "MmcDrive.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace mmc {

namespace {

unsigned be16(const uint8_t *p) { return unsigned(p[0]) << 8 | p[1]; }
unsigned be24(const uint8_t *p) { return unsigned(p[0]) << 16 | unsigned(p[1]) << 8 | p[2]; }
unsigned be32(const uint8_t *p) { return unsigned(p[0]) << 24 | unsigned(p[1]) << 16 | unsigned(p[2]) << 8 | p[3]; }

void put16(std::vector<uint8_t> &v, size_t at, unsigned x)
{
    v[at] = uint8_t(x >> 8);
    v[at + 1] = uint8_t(x);
}
void put32(std::vector<uint8_t> &v, size_t at, unsigned x)
{
    for (int i = 0; i < 4; ++i)
        v[at + size_t(i)] = uint8_t(x >> (24 - 8 * i));
}

uint8_t bcd(int x) { return uint8_t((x / 10) << 4 | (x % 10)); }

struct Msf
{
    int m, s, f;
};
// Absolute time of an LBA; the lead-in's negative LBAs wrap to 90 min on.
Msf msfOf(int lba)
{
    int frames = lba >= -150 ? lba + 150 : lba + 450150;
    return {frames / 4500, frames / 75 % 60, frames % 75};
}
int lbaOf(int m, int s, int f)
{
    const int frames = (m * 60 + s) * 75 + f;
    return m >= 90 ? frames - 450150 : frames - 150;
}

// CRC-16/CCITT as the Q sub-channel and CD-Text packs carry it: inverted.
uint16_t crc16(const uint8_t *p, size_t n)
{
    uint16_t crc = 0;
    for (size_t i = 0; i < n; ++i) {
        crc ^= uint16_t(p[i] << 8);
        for (int b = 0; b < 8; ++b)
            crc = (crc & 0x8000) ? uint16_t(crc << 1 ^ 0x1021) : uint16_t(crc << 1);
    }
    return uint16_t(~crc);
}

uint8_t sixBit(char c) { return uint8_t(c >= 'A' ? c - 'A' + 0x11 : c - '0'); }

} // namespace

struct Call
{
    const uint8_t *cdb;
    unsigned cdbLen;
    Direction dir;
    uint8_t *data;
    unsigned length;
    unsigned timeoutMs;
    Result r;
    std::vector<uint8_t> reply;
    unsigned allocation = 0; // from the CDB; the reply is cut to it

    void fail(uint8_t key, uint8_t asc, uint8_t ascq)
    {
        r.status = 2;
        r.sense = {key, asc, ascq};
    }
    void invalidField() { fail(0x05, 0x24, 0x00); }
    std::vector<uint8_t> &answer(size_t bytes, unsigned alloc)
    {
        reply.assign(bytes, 0);
        allocation = alloc;
        return reply;
    }
};

struct Commands
{
    using Fn = void (*)(Drive &, Call &);
    struct Entry
    {
        uint8_t opcode;
        bool needsMedium;
        Fn fn;
    };

    // ---- Identity and state ---------------------------------------------

    static void testUnitReady(Drive &, Call &) {}

    static void requestSense(Drive &d, Call &c)
    {
        auto &v = c.answer(18, c.cdb[4]);
        v[0] = 0x70;
        v[7] = 10;
        if (d.m_busyUntil > std::chrono::steady_clock::now()) {
            v[2] = 0x02;
            v[12] = 0x04;
            v[13] = 0x07;
            v[15] = 0x80;
            const unsigned p = progress(d);
            v[16] = uint8_t(p >> 8);
            v[17] = uint8_t(p);
        }
    }

    static unsigned progress(const Drive &d)
    {
        const auto now = std::chrono::steady_clock::now();
        const double all = std::chrono::duration<double>(d.m_busyUntil - d.m_busyFrom).count();
        const double done = std::chrono::duration<double>(now - d.m_busyFrom).count();
        return all > 0 ? unsigned(std::clamp(done / all, 0.0, 1.0) * 65535) : 0;
    }

    static void inquiry(Drive &, Call &c)
    {
        if (c.cdb[1] & 1) { // no vital product data pages
            c.invalidField();
            return;
        }
        auto &v = c.answer(36, be16(c.cdb + 3));
        v[0] = 0x05; // CD/DVD device
        v[1] = 0x80; // removable
        v[2] = 0x05;
        v[3] = 0x32;
        v[4] = 31;
        std::memcpy(&v[8], "KLVO    ", 8);
        std::memcpy(&v[16], "Emulated Burner ", 16);
        std::memcpy(&v[32], "1.00", 4);
    }

    static void startStopUnit(Drive &d, Call &c)
    {
        const bool loadEject = c.cdb[4] & 2, start = c.cdb[4] & 1;
        if (!loadEject)
            return;
        if (d.m_writing) {
            c.fail(0x05, 0x53, 0x02); // medium removal prevented
            return;
        }
        d.m_trayOpen = !start;
        d.m_mediaEvent = true;
        if (start && d.m_medium != Medium::none)
            d.m_unitAttention = false;
        d.saveDisc();
    }

    static void preventAllow(Drive &, Call &) {}
    static void sendOpc(Drive &, Call &) {}

    static void getEventStatus(Drive &d, Call &c)
    {
        if (!(c.cdb[1] & 1)) { // only polled requests
            c.invalidField();
            return;
        }
        auto &v = c.answer(8, be16(c.cdb + 7));
        v[3] = 0x10; // media class supported
        if (!(c.cdb[4] & 0x10)) {
            put16(v, 0, 2);
            v[2] = 0x80; // no event available
            v.resize(4);
            return;
        }
        put16(v, 0, 6);
        v[2] = 0x04;
        if (d.m_mediaEvent) {
            v[4] = d.m_trayOpen || d.m_medium == Medium::none ? 3 : 2; // removal / new media
            d.m_mediaEvent = false;
        }
        v[5] = uint8_t((!d.m_trayOpen && d.m_medium != Medium::none ? 2 : 0) | (d.m_trayOpen ? 1 : 0));
    }

    // ---- Mode pages -----------------------------------------------------

    static void modeSense(Drive &d, Call &c)
    {
        const int page = c.cdb[2] & 0x3f;
        const int control = c.cdb[2] >> 6;
        std::vector<uint8_t> body;
        if (page == 0x05) {
            body.assign(d.m_page05.begin(), d.m_page05.begin() + 2 + d.m_page05[1]);
            if (control == 1) // changeable: everything
                std::fill(body.begin() + 2, body.end(), 0xff);
        } else if (page == 0x2A) {
            const std::vector<int> speeds = d.writeSpeeds();
            body.assign(32 + 4 * speeds.size(), 0);
            body[0] = 0x2A;
            body[1] = uint8_t(body.size() - 2);
            body[2] = 0x3B;  // reads CD-R, CD-RW, DVD-ROM, DVD-R, DVD-RAM
            body[3] = 0x17;  // writes CD-R, CD-RW, DVD-R; test write
            body[4] = d.m_burnFree ? 0xF1 : 0x71; // BUF, multi-session, mode 2 forms, audio
            body[5] = 0x67;  // CD-DA, accurate stream, R-W, ISRC, UPC
            body[6] = 0x29;  // tray, eject, lock
            const int fastest = speeds.empty() ? 7056 : speeds.front();
            const int current = d.m_writeSpeed > 0 ? d.m_writeSpeed : fastest;
            auto put = [&body](size_t at, int x) {
                body[at] = uint8_t(x >> 8);
                body[at + 1] = uint8_t(x);
            };
            put(8, 7056);
            put(12, int(d.m_bufferBytes / 1024));
            put(14, 7056);
            put(18, fastest);
            put(20, current);
            put(28, current);
            put(30, int(speeds.size()));
            for (size_t i = 0; i < speeds.size(); ++i)
                put(32 + 4 * i + 2, speeds[i]);
        } else if (page == 0x01) {
            body = {0x01, 0x0A, 0x00, 0x03, 0, 0, 0, 0, 0x03, 0, 0, 0};
        } else {
            c.invalidField();
            return;
        }
        auto &v = c.answer(8 + body.size(), be16(c.cdb + 7));
        put16(v, 0, unsigned(v.size() - 2));
        std::copy(body.begin(), body.end(), v.begin() + 8);
    }

    static void modeSelect(Drive &d, Call &c)
    {
        const unsigned n = std::min(c.length, be16(c.cdb + 7));
        if (n < 8)
            return;
        const unsigned descriptors = be16(c.data + 6);
        const unsigned at = 8 + descriptors;
        if (at + 2 > n)
            return;
        const uint8_t *page = c.data + at;
        if ((page[0] & 0x3f) != 0x05)
            return;
        const unsigned len = std::min<unsigned>({unsigned(page[1]) + 2, n - at, unsigned(d.m_page05.size())});
        const int type = page[2] & 0x0f;
        if (type > 3) {
            c.fail(0x05, 0x26, 0x00);
            return;
        }
        std::copy(page, page + len, d.m_page05.begin());
        d.m_page05[0] = 0x05;
    }

    // ---- Features -------------------------------------------------------

    static void getConfiguration(Drive &d, Call &c)
    {
        const int rt = c.cdb[1] & 3;
        const unsigned startAt = be16(c.cdb + 2);
        const int profile = d.m_trayOpen ? 0 : d.profile();
        const bool cd = profile == 0x09 || profile == 0x0A;
        const bool writableCd = cd && d.m_status != DiscStatus::complete;
        std::vector<uint8_t> out(8, 0);
        put16(out, 6, unsigned(profile));
        auto feature = [&](unsigned code, bool current, int version, std::vector<uint8_t> data) {
            if (code < startAt || (rt == 1 && !current) || (rt == 2 && code != startAt))
                return;
            while (data.size() % 4)
                data.push_back(0);
            out.push_back(uint8_t(code >> 8));
            out.push_back(uint8_t(code));
            out.push_back(uint8_t(version << 2 | (code < 3 ? 2 : 0) | (current ? 1 : 0)));
            out.push_back(uint8_t(data.size()));
            out.insert(out.end(), data.begin(), data.end());
        };
        std::vector<uint8_t> profiles;
        for (int p : {0x41, 0x40, 0x1A, 0x11, 0x10, 0x0A, 0x09, 0x08}) {
            const bool isCurrent = p == profile;
            profiles.insert(profiles.end(), {uint8_t(p >> 8), uint8_t(p), uint8_t(isCurrent), 0});
        }
        const bool present = profile != 0;
        const bool recorded = present && !d.m_tracks.empty();
        feature(0x0000, true, 0, profiles);
        feature(0x0001, true, 2, {0, 0, 0, 2, 1, 0, 0, 0});
        feature(0x0002, true, 1, {2, 0, 0, 0});
        feature(0x0003, true, 0, {0x29, 0, 0, 0});
        feature(0x0010, recorded || profile == 0x1A, 0, {0, 0, 8, 0, 0, uint8_t(cd ? 1 : 16), 0, 0});
        feature(0x001D, recorded, 0, {});
        feature(0x001E, cd, 2, {0x03, 0, 0, 0});
        feature(0x001F, present && !cd, 0, {});
        feature(0x0021, writableCd || (profile == 0x11 && d.m_status != DiscStatus::complete), 1,
                {0x01, 0x01, 0x01, 0x01, uint8_t(cd ? 7 : 16)});
        feature(0x0023, profile == 0x1A || profile == 0x41, 0, {});
        feature(0x002A, profile == 0x1A, 1, {0x01, 0x00, 0, 0});
        const uint8_t buf = d.m_burnFree ? 0x40 : 0x00;
        feature(0x002D, writableCd, 2, {uint8_t(buf | 0x06), 0, 0x01, 0x01});
        feature(0x002E, writableCd && d.m_status == DiscStatus::blank, 0, {uint8_t(buf | 0x27), 0x01, 0x00, 0x00});
        feature(0x002F, profile == 0x11 && d.m_status == DiscStatus::blank, 1, {uint8_t(buf | 0x04), 0, 0, 0});
        feature(0x0040, profile == 0x41 || profile == 0x40, 0, std::vector<uint8_t>(28, 0));
        feature(0x0041, profile == 0x41, 0, std::vector<uint8_t>(24, 0));
        feature(0x0100, true, 0, {});
        feature(0x0105, true, 1, {0, 0, 0, 0});
        feature(0x0107, true, 4, {0x1F, 0, 0, 0});
        put32(out, 0, unsigned(out.size() - 4));
        c.reply = std::move(out);
        c.allocation = be16(c.cdb + 7);
    }

    static void getPerformance(Drive &d, Call &c)
    {
        const int type = c.cdb[10];
        const unsigned maxDescriptors = be16(c.cdb + 8);
        std::vector<uint8_t> out(8, 0);
        const std::vector<int> speeds = d.writeSpeeds();
        if (type == 0x03) {
            for (size_t i = 0; i < speeds.size() && i < maxDescriptors; ++i) {
                std::vector<uint8_t> desc(16, 0);
                put32(desc, 4, unsigned(d.capacity()));
                put32(desc, 8, unsigned(speeds.front()));
                put32(desc, 12, unsigned(speeds[i]));
                out.insert(out.end(), desc.begin(), desc.end());
            }
        } else if (type == 0x00) {
            const bool write = c.cdb[1] & 4;
            out[4] = write ? 2 : 0;
            if (maxDescriptors > 0) {
                std::vector<uint8_t> desc(16, 0);
                const int speed = speeds.empty() ? 7056 : (write && d.m_writeSpeed > 0 ? d.m_writeSpeed : speeds.front());
                put32(desc, 4, unsigned(speed));
                put32(desc, 8, unsigned(std::max(0, d.capacity() - 1)));
                put32(desc, 12, unsigned(speed));
                out.insert(out.end(), desc.begin(), desc.end());
            }
        } else {
            c.invalidField();
            return;
        }
        put32(out, 0, unsigned(out.size() - 4));
        c.reply = std::move(out);
        c.allocation = unsigned(c.reply.size());
    }

    static void setCdSpeed(Drive &d, Call &c)
    {
        const unsigned write = be16(c.cdb + 4);
        d.m_readSpeed = int(be16(c.cdb + 2));
        d.m_writeSpeed = write == 0xFFFF ? 0 : int(write);
    }

    static void setStreaming(Drive &d, Call &c)
    {
        if (c.cdb[8] != 0 || c.length < 28) // only the performance descriptor
            return;
        const unsigned size = be32(c.data + 20), ms = be32(c.data + 24);
        if (ms > 0)
            d.m_writeSpeed = int(uint64_t(size) * 1000 / ms);
    }

    static void readBufferCapacity(Drive &d, Call &c)
    {
        if (d.m_recording)
            d.drainBuffer();
        auto &v = c.answer(12, be16(c.cdb + 7));
        put16(v, 0, 10);
        const unsigned free = d.m_recording ? unsigned(std::max(0.0, d.m_bufferBytes - d.m_fill)) : d.m_bufferBytes;
        if (c.cdb[1] & 1) {
            put32(v, 8, free / 2048);
        } else {
            put32(v, 4, d.m_bufferBytes);
            put32(v, 8, free);
        }
    }

    // ---- Reading the disc's structure ------------------------------------

    static void readDiscInformation(Drive &d, Call &c)
    {
        if ((c.cdb[1] & 7) != 0) {
            c.invalidField();
            return;
        }
        auto &v = c.answer(34, be16(c.cdb + 7));
        put16(v, 0, 32);
        const bool erasable = d.m_medium == Medium::cdrw || d.m_medium == Medium::dvdprw;
        DiscStatus status = d.m_status;
        int lastSessionState = status == DiscStatus::complete ? 3 : 0;
        if (d.m_medium == Medium::dvdprw) { // overwritable: always offered as blank or full
            status = d.m_formatted ? DiscStatus::complete : DiscStatus::blank;
            lastSessionState = d.m_formatted ? 3 : 0;
        }
        v[2] = uint8_t((erasable ? 0x10 : 0) | lastSessionState << 2 | int(status));
        v[3] = 1;
        const int sessions = int(d.m_sessions.size()) + (status == DiscStatus::complete ? 0 : 1);
        const int next = d.lastTrackNumber() + 1;
        int firstInLast = next, lastInLast = next;
        if (status == DiscStatus::complete && !d.m_tracks.empty()) {
            const int s = d.m_sessions.empty() ? 1 : d.m_sessions.back().number;
            firstInLast = 99;
            lastInLast = 1;
            for (const Track &t : d.m_tracks)
                if (t.session == s) {
                    firstInLast = std::min(firstInLast, t.number);
                    lastInLast = std::max(lastInLast, t.number);
                }
        }
        v[4] = uint8_t(std::max(1, sessions));
        v[5] = uint8_t(firstInLast);
        v[6] = uint8_t(lastInLast);
        v[7] = 0x20 | (d.m_medium == Medium::dvdprw && d.m_formatted ? 3 : 0);
        v[8] = 0x00;
        if (d.isCd() && status != DiscStatus::complete) {
            const int leadIn = d.m_sessions.empty() ? d.leadInStart() : d.nextWritable() - 4650;
            const Msf in = msfOf(leadIn), out = msfOf(d.capacity());
            v[17] = uint8_t(in.m), v[18] = uint8_t(in.s), v[19] = uint8_t(in.f);
            v[21] = uint8_t(out.m), v[22] = uint8_t(out.s), v[23] = uint8_t(out.f);
        } else {
            put32(v, 16, 0xFFFFFFFF);
            put32(v, 20, 0xFFFFFFFF);
        }
    }

    static void readTrackInformation(Drive &d, Call &c)
    {
        const int type = c.cdb[1] & 3;
        const unsigned address = be32(c.cdb + 2);
        const int next = d.lastTrackNumber() + 1;
        const bool open = d.m_status != DiscStatus::complete && d.m_medium != Medium::dvdprw;
        const Track *track = nullptr;
        bool invisible = false;
        if (type == 1) {
            if (address == 0xFF || (open && int(address) == next))
                invisible = open;
            else
                for (const Track &t : d.m_tracks)
                    if (t.number == int(address))
                        track = &t;
        } else if (type == 0) {
            track = d.trackAt(int(address));
            invisible = !track && open && int(address) >= d.nextWritable();
        }
        if (d.m_medium == Medium::dvdprw && type == 1 && (address == 1 || address == 0xFF))
            return dvdPlusRwTrack(d, c);
        if (!track && !invisible) {
            c.invalidField();
            return;
        }
        auto &v = c.answer(36, be16(c.cdb + 7));
        put16(v, 0, 34);
        if (track) {
            v[2] = uint8_t(track->number);
            v[3] = uint8_t(track->session);
            v[5] = uint8_t(track->control);
            v[6] = track->audio ? 0x0F : 0x01;
            put32(v, 8, unsigned(track->start));
            put32(v, 24, unsigned(track->end - track->start));
            put32(v, 28, unsigned(track->end - 1));
            v[7] = 0x02;
            return;
        }
        const int nwa = d.nextWritable();
        v[2] = uint8_t(next);
        v[3] = uint8_t(d.m_sessions.size() + 1);
        v[5] = uint8_t(d.m_page05[3] & 0x0f);
        v[6] = uint8_t(0x40 | (d.isCd() ? 0 : 0x20) | 0x0F); // blank, incremental
        v[7] = 0x01;
        put32(v, 8, unsigned(nwa));
        put32(v, 12, unsigned(nwa));
        const int free = std::max(0, d.capacity() - nwa - (d.isCd() ? 150 : 0));
        put32(v, 16, unsigned(free));
        put32(v, 24, unsigned(d.m_reservedEnd > nwa ? d.m_reservedEnd - nwa : free));
    }

    static void dvdPlusRwTrack(Drive &d, Call &c)
    {
        auto &v = c.answer(36, be16(c.cdb + 7));
        put16(v, 0, 34);
        v[2] = 1;
        v[3] = 1;
        v[5] = 0x04;
        v[6] = 0x01;
        v[7] = 0x01;
        put32(v, 12, 0);
        put32(v, 16, unsigned(d.capacity()));
        put32(v, 24, unsigned(d.capacity()));
    }

    static void readCapacity(Drive &d, Call &c)
    {
        int end = 0;
        if (d.m_medium == Medium::dvdprw && d.m_formatted)
            end = d.capacity();
        for (const Track &t : d.m_tracks)
            end = std::max(end, t.end);
        auto &v = c.answer(8, 8);
        put32(v, 0, unsigned(std::max(0, end - 1)));
        put32(v, 4, 2048);
    }

    static void readFormatCapacities(Drive &d, Call &c)
    {
        std::vector<uint8_t> out(12, 0);
        put32(out, 4, unsigned(d.capacity()));
        out[8] = d.m_medium == Medium::dvdprw && !d.m_formatted ? 1 : 2;
        out[10] = 0x08; // 2048
        if (d.m_medium == Medium::dvdprw) {
            std::vector<uint8_t> desc(8, 0);
            put32(desc, 0, unsigned(d.capacity()));
            desc[4] = 0x26 << 2;
            out.insert(out.end(), desc.begin(), desc.end());
        }
        out[3] = uint8_t(out.size() - 4);
        c.reply = std::move(out);
        c.allocation = be16(c.cdb + 7);
    }

    static void readDiscStructure(Drive &d, Call &c)
    {
        const int format = c.cdb[7];
        if (d.isCd() || format != 0x00) {
            c.fail(0x05, 0x24, 0x00);
            return;
        }
        auto &v = c.answer(4 + 2048, be16(c.cdb + 8));
        put16(v, 0, 2050);
        v[4] = d.m_medium == Medium::dvdprw ? 0x92 : 0x25; // book type and version
        v[5] = 0x0F;
        v[6] = 0x01;
        v[7] = 0x00;
        put32(v, 8, 0x030000);
        put32(v, 12, unsigned(0x030000 + d.capacity() - 1));
    }

    static void readToc(Drive &d, Call &c)
    {
        int format = c.cdb[2] & 0x0f;
        if (format == 0)
            format = c.cdb[9] >> 6;
        const bool msf = c.cdb[1] & 2;
        const unsigned alloc = be16(c.cdb + 7);
        std::vector<uint8_t> out(4, 0);
        auto address = [&](std::vector<uint8_t> &v, int lba) {
            if (msf) {
                const Msf t = msfOf(lba);
                v.insert(v.end(), {0, uint8_t(t.m), uint8_t(t.s), uint8_t(t.f)});
            } else {
                v.insert(v.end(), {uint8_t(unsigned(lba) >> 24), uint8_t(unsigned(lba) >> 16),
                                   uint8_t(unsigned(lba) >> 8), uint8_t(lba)});
            }
        };
        if (format == 4) { // ATIP
            if (!d.isCd()) {
                c.invalidField();
                return;
            }
            out.resize(28, 0);
            put16(out, 0, 26);
            out[4] = 0x80 | 0x50 | 0x05;
            out[5] = 0x40;
            out[6] = uint8_t(0x80 | (d.m_medium == Medium::cdrw ? 0x40 : 0));
            const Msf in = msfOf(d.leadInStart()), last = msfOf(d.capacity());
            out[8] = uint8_t(in.m), out[9] = uint8_t(in.s), out[10] = uint8_t(in.f);
            out[12] = uint8_t(last.m), out[13] = uint8_t(last.s), out[14] = uint8_t(last.f);
            finish(c, out, alloc);
            return;
        }
        if (format == 5) { // CD-Text
            for (const auto &pack : d.m_cdText)
                out.insert(out.end(), pack.begin(), pack.end());
            put16(out, 0, unsigned(out.size() - 2));
            finish(c, out, alloc);
            return;
        }
        if (d.m_tracks.empty()) {
            c.invalidField();
            return;
        }
        const int firstSession = 1, lastSession = d.m_sessions.empty() ? 1 : d.m_sessions.back().number;
        auto leadOutOf = [&](int session) {
            for (const Session &s : d.m_sessions)
                if (s.number == session)
                    return s.leadOut;
            return d.m_tracks.back().end;
        };
        if (format == 0) {
            const int from = c.cdb[6];
            out[2] = uint8_t(d.m_tracks.front().number);
            out[3] = uint8_t(d.m_tracks.back().number);
            for (const Track &t : d.m_tracks) {
                if (t.number < from)
                    continue;
                out.insert(out.end(), {0, uint8_t(0x10 | t.control), uint8_t(t.number), 0});
                address(out, t.start);
            }
            if (from > d.m_tracks.back().number && from != 0xAA) {
                c.invalidField();
                return;
            }
            out.insert(out.end(), {0, uint8_t(0x10 | d.m_tracks.back().control), 0xAA, 0});
            address(out, leadOutOf(lastSession));
        } else if (format == 1) {
            out[2] = uint8_t(firstSession);
            out[3] = uint8_t(lastSession);
            const Track *first = nullptr;
            for (const Track &t : d.m_tracks)
                if (t.session == lastSession && !first)
                    first = &t;
            if (!first)
                first = &d.m_tracks.front();
            out.insert(out.end(), {0, uint8_t(0x10 | first->control), uint8_t(first->number), 0});
            address(out, first->start);
        } else if (format == 2) {
            out[2] = uint8_t(firstSession);
            out[3] = uint8_t(lastSession);
            for (const Session &s : d.m_sessions) {
                const Track *first = nullptr, *last = nullptr;
                for (const Track &t : d.m_tracks)
                    if (t.session == s.number) {
                        if (!first)
                            first = &t;
                        last = &t;
                    }
                if (!first)
                    continue;
                auto point = [&](int ctl, int pointCode, Msf at, Msf p) {
                    out.insert(out.end(), {uint8_t(s.number), uint8_t(0x10 | ctl), 0, uint8_t(pointCode),
                                           uint8_t(at.m), uint8_t(at.s), uint8_t(at.f), 0, uint8_t(p.m),
                                           uint8_t(p.s), uint8_t(p.f)});
                };
                point(first->control, 0xA0, {0, 0, 0}, {first->number, 0, 0});
                point(last->control, 0xA1, {0, 0, 0}, {last->number, 0, 0});
                point(last->control, 0xA2, {0, 0, 0}, msfOf(s.leadOut));
                for (const Track &t : d.m_tracks)
                    if (t.session == s.number)
                        point(t.control, t.number, {0, 0, 0}, msfOf(t.start));
                const bool more = s.number < lastSession || d.m_status == DiscStatus::appendable;
                if (more) {
                    const int nextArea = s.leadOut + (s.number == 1 ? 11400 : 6900);
                    const Msf n = msfOf(nextArea), max = msfOf(d.capacity());
                    out.insert(out.end(), {uint8_t(s.number), 0x50, 0, 0xB0, uint8_t(n.m), uint8_t(n.s),
                                           uint8_t(n.f), 1, uint8_t(max.m), uint8_t(max.s), uint8_t(max.f)});
                }
            }
        } else {
            c.invalidField();
            return;
        }
        put16(out, 0, unsigned(out.size() - 2));
        finish(c, out, alloc);
    }

    static void finish(Call &c, std::vector<uint8_t> &out, unsigned alloc)
    {
        c.reply = std::move(out);
        c.allocation = alloc;
    }

    // Formatted Q of one sector, as the disc's sub-channel carries it. The
    // catalogue number and ISRCs take a frame in a hundred, never the first
    // of an index: that one says where it begins.
    static std::array<uint8_t, 12> subQ(const Drive &d, int lba)
    {
        std::array<uint8_t, 12> q{};
        const Track *t = d.trackAt(lba);
        const Msf abs = msfOf(lba);
        const bool first = t && (lba == t->pregap || lba == t->start
                                 || std::find(t->indexes.begin(), t->indexes.end(), lba) != t->indexes.end());
        if (t && !first && !t->isrc.empty() && (lba - t->start) % 100 == 50 && lba >= t->start) {
            q[0] = uint8_t(t->control << 4 | 3);
            uint64_t bits = 0;
            for (int i = 0; i < 5; ++i)
                bits = bits << 6 | sixBit(t->isrc[size_t(i)]);
            bits <<= 2;
            for (int i = 5; i < 12; ++i)
                bits = bits << 4 | uint64_t(t->isrc[size_t(i)] - '0');
            bits <<= 4;
            for (int i = 0; i < 8; ++i)
                q[size_t(1 + i)] = uint8_t(bits >> (56 - 8 * i));
            q[9] = bcd(abs.f);
        } else if (t && !first && !d.m_mcn.empty() && (lba + 150) % 100 == 25) {
            q[0] = uint8_t(t->control << 4 | 2);
            for (int i = 0; i < 13; ++i) {
                const uint8_t digit = uint8_t(d.m_mcn[size_t(i)] - '0');
                q[size_t(1 + i / 2)] |= i % 2 ? digit : uint8_t(digit << 4);
            }
            q[9] = bcd(abs.f);
        } else {
            q[0] = uint8_t((t ? t->control : 0) << 4 | 1);
            int index = 1, rel = 0;
            if (t) {
                if (lba < t->start) {
                    index = 0;
                    rel = t->start - lba;
                } else {
                    rel = lba - t->start;
                    for (int at : t->indexes)
                        if (lba >= at)
                            ++index;
                }
            }
            const Msf r = msfOf(rel - 150);
            q[1] = bcd(t ? t->number : 0);
            q[2] = bcd(index);
            q[3] = bcd(r.m), q[4] = bcd(r.s), q[5] = bcd(r.f);
            q[7] = bcd(abs.m), q[8] = bcd(abs.s), q[9] = bcd(abs.f);
        }
        const uint16_t crc = crc16(q.data(), 10);
        q[10] = uint8_t(crc >> 8);
        q[11] = uint8_t(crc);
        return q;
    }

    // ---- Reading sectors ------------------------------------------------

    static bool recorded(const Drive &d, int lba)
    {
        if (d.m_medium == Medium::dvdprw && d.m_formatted)
            return lba >= 0 && lba < d.capacity();
        return d.trackAt(lba) != nullptr;
    }

    static void read10(Drive &d, Call &c)
    {
        const bool twelve = c.cdb[0] == 0xA8;
        const int lba = int(be32(c.cdb + 2));
        const unsigned count = twelve ? be32(c.cdb + 6) : be16(c.cdb + 7);
        if (c.length < count * 2048) {
            c.invalidField();
            return;
        }
        const std::vector<uint8_t> slots = d.readSlots(lba, count);
        for (unsigned i = 0; i < count; ++i) {
            const int at = lba + int(i);
            if (!recorded(d, at)) {
                c.fail(0x05, 0x21, 0x00);
                return;
            }
            const Track *t = d.trackAt(at);
            if (t && t->audio) {
                c.fail(0x05, 0x64, 0x00); // illegal mode for this track
                return;
            }
            if (d.unreadable(at)) {
                c.fail(0x03, 0x11, 0x00);
                return;
            }
            std::memcpy(c.data + i * 2048, slots.data() + size_t(i) * size_t(d.slotBytes()), 2048);
            c.r.transferred += 2048;
        }
    }

    static void readCd(Drive &d, Call &c)
    {
        int lba = 0;
        unsigned count = 0;
        if (c.cdb[0] == 0xB9) {
            lba = lbaOf(c.cdb[3], c.cdb[4], c.cdb[5]);
            const int end = lbaOf(c.cdb[6], c.cdb[7], c.cdb[8]);
            count = end > lba ? unsigned(end - lba) : 0;
        } else {
            lba = int(be32(c.cdb + 2));
            count = be24(c.cdb + 6);
        }
        const int expected = (c.cdb[1] >> 2) & 7;
        const uint8_t flags = c.cdb[9];
        const int sub = c.cdb[10] & 7;
        if (!d.isCd()) {
            c.fail(0x05, 0x64, 0x00);
            return;
        }
        // Slots fetched 64 at a time: the count comes from the command.
        std::vector<uint8_t> slots;
        unsigned at = 0;
        for (unsigned i = 0; i < count; ++i) {
            const int sector = lba + int(i);
            const Track *t = d.trackAt(sector);
            if (!t) {
                c.fail(0x05, 0x21, 0x00);
                return;
            }
            if ((expected == 1 && !t->audio) || (expected == 2 && t->audio)) {
                c.fail(0x05, 0x64, 0x00);
                return;
            }
            if (d.unreadable(sector)) {
                c.fail(0x03, 0x11, 0x00); // unrecovered read error
                return;
            }
            if (i % 64 == 0)
                slots = d.readSlots(sector, std::min(64u, count - i));
            const auto slot = slots.begin() + ptrdiff_t(i % 64) * 2352;
            std::vector<uint8_t> out;
            if (t->audio) {
                if (flags & 0xF8)
                    out.assign(slot, slot + 2352);
            } else {
                if (flags & 0x80) { // sync
                    out.push_back(0);
                    out.insert(out.end(), 10, 0xff);
                    out.push_back(0);
                }
                if (flags & 0x20) { // header
                    const Msf m = msfOf(sector);
                    out.insert(out.end(), {bcd(m.m), bcd(m.s), bcd(m.f), 1});
                }
                if (flags & 0x10)
                    out.insert(out.end(), slot, slot + 2048);
                if (flags & 0x08)
                    out.insert(out.end(), 288, 0);
            }
            if (flags & 0x06)
                out.insert(out.end(), (flags & 0x06) == 0x04 ? 296 : 294, 0);
            if (sub == 1 || sub == 4) {
                const std::array<uint8_t, 12> q = subQ(d, sector);
                const bool pause = sector < t->start;
                for (int b = 0; b < 96; ++b) {
                    uint8_t symbol = 0;
                    if (sub == 1) {
                        if (pause)
                            symbol |= 0x80;
                        if (q[size_t(b / 8)] & (0x80 >> (b % 8)))
                            symbol |= 0x40;
                    }
                    out.push_back(symbol);
                }
            } else if (sub == 2) {
                const std::array<uint8_t, 12> q = subQ(d, sector);
                out.insert(out.end(), q.begin(), q.end());
                out.insert(out.end(), 4, 0);
            }
            if (at + out.size() > c.length) {
                c.invalidField();
                return;
            }
            std::memcpy(c.data + at, out.data(), out.size());
            at += unsigned(out.size());
        }
        c.r.transferred = at;
    }

    static void readSubChannel(Drive &d, Call &c)
    {
        const int format = c.cdb[3];
        std::vector<uint8_t> out(4, 0);
        out[1] = 0x15;
        if (format == 2) {
            out.resize(24, 0);
            out[4] = 2;
            if (!d.m_mcn.empty()) {
                out[8] = 0x80;
                std::memcpy(&out[9], d.m_mcn.data(), 13);
            }
        } else if (format == 3) {
            out.resize(24, 0);
            out[4] = 3;
            const int number = c.cdb[6];
            for (const Track &t : d.m_tracks)
                if (t.number == number) {
                    out[5] = uint8_t(0x10 | t.control);
                    out[6] = uint8_t(number);
                    if (!t.isrc.empty()) {
                        out[8] = 0x80;
                        std::memcpy(&out[9], t.isrc.data(), 12);
                    }
                }
        } else if (format == 1) {
            out.resize(16, 0);
            out[4] = 1;
        } else if (!(c.cdb[2] & 0x40)) {
            out.resize(4);
        } else {
            c.invalidField();
            return;
        }
        put16(out, 2, unsigned(out.size() - 4));
        finish(c, out, be16(c.cdb + 7));
    }

    // ---- Writing --------------------------------------------------------

    static int writeType(const Drive &d) { return d.m_page05[2] & 0x0f; }

    static bool canWrite(Drive &d, Call &c)
    {
        if (d.m_medium == Medium::dvdprw) {
            if (!d.m_formatted)
                c.fail(0x05, 0x30, 0x00); // incompatible medium (not formatted)
            return d.m_formatted;
        }
        if (d.m_status == DiscStatus::complete) {
            c.fail(0x05, 0x21, 0x02); // invalid address for write
            return false;
        }
        return true;
    }

    static void sendCueSheet(Drive &d, Call &c)
    {
        const unsigned n = std::min(c.length, be24(c.cdb + 6));
        if (!d.isCd() || writeType(d) != 2 || n % 8 || n == 0) {
            c.fail(0x05, 0x2C, 0x00); // command sequence error
            return;
        }
        if (!canWrite(d, c))
            return;
        d.m_cue.clear();
        d.m_cueIsrc.clear();
        d.m_cueMcn.clear();
        const uint8_t *p = c.data;
        for (unsigned i = 0; i < n; i += 8, p += 8) {
            const int adr = p[0] & 0x0f;
            if (adr == 2) { // catalogue number, in two entries
                if (i + 8 >= n) {
                    c.fail(0x05, 0x26, 0x00);
                    return;
                }
                std::string mcn(reinterpret_cast<const char *>(p + 1), 7);
                mcn.append(reinterpret_cast<const char *>(p + 9), 6);
                d.m_cueMcn = mcn;
                i += 8, p += 8;
            } else if (adr == 3) { // ISRC, in two entries
                if (i + 8 >= n) {
                    c.fail(0x05, 0x26, 0x00);
                    return;
                }
                std::string isrc(reinterpret_cast<const char *>(p + 2), 6);
                isrc.append(reinterpret_cast<const char *>(p + 10), 6);
                d.m_cueIsrc.emplace_back(p[1], isrc);
                i += 8, p += 8;
            } else if (adr == 1) {
                d.m_cue.push_back({p[1], p[2], p[3], lbaOf(p[5], p[6], p[7]), uint8_t(p[0] >> 4)});
            } else {
                c.fail(0x05, 0x26, 0x00);
                return;
            }
        }
        // The sheet must run from the lead-in through tracks to the lead-out, in order.
        if (d.m_cue.size() < 3 || d.m_cue.front().track != 0 || d.m_cue.back().track != 0xAA) {
            c.fail(0x05, 0x26, 0x00);
            return;
        }
        std::vector<Track> tracks;
        for (size_t i = 1; i + 1 < d.m_cue.size(); ++i) {
            const CuePointView p{d.m_cue[i]};
            if (p.lba < d.m_cue[i - 1].lba || p.track < 1 || p.track > 99) {
                c.fail(0x05, 0x26, 0x00);
                return;
            }
            if (tracks.empty() || tracks.back().number != p.track) {
                if (!tracks.empty() && p.track != tracks.back().number + 1) {
                    c.fail(0x05, 0x26, 0x00);
                    return;
                }
                Track t;
                t.number = p.track;
                t.session = int(d.m_sessions.size()) + 1;
                t.pregap = t.start = p.lba;
                t.control = p.ctl & 0x0f;
                t.audio = !(t.control & 4);
                t.start = p.index == 0 ? -1 : p.lba;
                tracks.push_back(t);
            } else if (p.index == 1) {
                tracks.back().start = p.lba;
            } else if (p.index >= 2) {
                tracks.back().indexes.push_back(p.lba);
            }
        }
        for (size_t i = 0; i < tracks.size(); ++i) {
            tracks[i].end = i + 1 < tracks.size() ? tracks[i + 1].pregap : d.m_cue.back().lba;
            if (tracks[i].start < 0 || tracks[i].end <= tracks[i].start) {
                c.fail(0x05, 0x26, 0x00);
                return;
            }
            for (const auto &[number, isrc] : d.m_cueIsrc)
                if (number == tracks[i].number)
                    tracks[i].isrc = isrc;
        }
        d.m_pending = tracks;
        d.m_pendingText.clear();
        d.m_writeNext = d.m_cue[1].lba;
        d.m_writing = true;
        d.m_sessionDirty = false;
        d.m_test = d.m_page05[2] & 0x10;
        d.m_bufe = d.m_page05[2] & 0x40;
        d.startRecording(d.m_writeSpeed);
    }

    struct CuePointView
    {
        int track, index, form, lba;
        uint8_t ctl;
        explicit CuePointView(const Drive::CuePoint &p) : track(p.track), index(p.index), form(p.form), lba(p.lba), ctl(p.ctl) {}
    };

    // Bytes the host sends per sector of a cue sheet's data form; 0: the
    // drive makes the sector itself.
    static int hostBytes(int form)
    {
        switch (form & 0x3f) {
        case 0x00: return 2352;
        case 0x10: return 2048;
        case 0x11:
        case 0x12: return 2352;
        default: return 0;
        }
    }

    static const Drive::CuePoint *cueAt(const Drive &d, int lba)
    {
        const Drive::CuePoint *found = nullptr;
        for (size_t i = 1; i + 1 < d.m_cue.size(); ++i)
            if (d.m_cue[i].lba <= lba)
                found = &d.m_cue[i];
        return found;
    }

    // Unpacks CD-Text from the lead-in's R-W sub-channel, 96 bytes a sector,
    // four packs of 24 six-bit symbols each; a pack whose CRC fails is refused.
    static bool takeLeadIn(Drive &d, const uint8_t *data, unsigned sectors)
    {
        for (unsigned s = 0; s < sectors * 4; ++s) {
            const uint8_t *sym = data + s * 24;
            std::array<uint8_t, 18> pack{};
            for (int i = 0; i < 6; ++i) {
                const uint8_t *g = sym + i * 4;
                pack[size_t(i * 3)] = uint8_t((g[0] & 0x3f) << 2 | (g[1] & 0x30) >> 4);
                pack[size_t(i * 3 + 1)] = uint8_t((g[1] & 0x0f) << 4 | (g[2] & 0x3c) >> 2);
                pack[size_t(i * 3 + 2)] = uint8_t((g[2] & 0x03) << 6 | (g[3] & 0x3f));
            }
            const uint16_t crc = crc16(pack.data(), 16);
            if (pack[16] != uint8_t(crc >> 8) || pack[17] != uint8_t(crc))
                return false;
            if (!d.m_pendingText.empty() && pack == d.m_pendingText.front())
                d.m_sessionDirty = true; // the packs repeat from here on
            if (!d.m_sessionDirty)
                d.m_pendingText.push_back(pack);
        }
        return true;
    }

    static void write10(Drive &d, Call &c)
    {
        const bool twelve = c.cdb[0] == 0xAA;
        const int lba = int(be32(c.cdb + 2));
        const unsigned count = twelve ? be32(c.cdb + 6) : be16(c.cdb + 7);
        if (count == 0)
            return;
        if (!canWrite(d, c))
            return;
        const unsigned blockBytes = c.length / count;
        if (blockBytes * count != c.length) {
            c.fail(0x05, 0x24, 0x00);
            return;
        }
        if (d.m_medium == Medium::dvdprw)
            return writeRandom(d, c, lba, count);
        const bool sao = d.isCd() && writeType(d) == 2;
        if (sao) {
            if (d.m_cue.empty()) {
                c.fail(0x05, 0x2C, 0x00);
                return;
            }
            if (lba < -150) {
                if (blockBytes != 96 || lba < d.leadInStart() || !(d.m_cue.front().form & 0x40)
                    || !takeLeadIn(d, c.data, count)) {
                    c.fail(0x05, 0x26, 0x00);
                    return;
                }
                if (!d.feedBuffer(c.length, c.r))
                    abortWrite(d);
                c.r.transferred = c.length;
                return;
            }
        } else if (!d.m_writing) {
            openTrack(d, c, lba);
            if (c.r.status)
                return;
        }
        // Sectors up to a refused one are on the disc, as on a drive.
        unsigned accepted = 0;
        for (; accepted < count; ++accepted, ++d.m_writeNext) {
            const int at = lba + int(accepted);
            if (sao)
                skipGenerated(d);
            if (at != d.m_writeNext) {
                c.fail(0x05, 0x21, 0x02);
            } else if (sao) {
                const Drive::CuePoint *p = cueAt(d, at);
                if (!p || at >= d.m_cue.back().lba || unsigned(hostBytes(p->form)) != blockBytes)
                    c.fail(0x05, 0x21, 0x02);
            } else if (blockBytes != expectedBlockBytes(d)) {
                c.fail(0x05, 0x24, 0x00);
            } else if (at >= d.capacity() || (d.m_reservedEnd > 0 && at >= d.m_reservedEnd)) {
                c.fail(0x05, 0x21, 0x00);
            }
            if (c.r.status)
                break;
        }
        if (!d.m_test)
            d.writeSlots(lba, c.data, blockBytes, accepted);
        if (c.r.status)
            return;
        if (!d.feedBuffer(c.length, c.r)) {
            abortWrite(d);
            return;
        }
        c.r.transferred = c.length;
    }

    static unsigned expectedBlockBytes(const Drive &d)
    {
        if (!d.isCd())
            return 2048;
        switch (d.m_page05[4] & 0x0f) {
        case 0: return 2352;
        case 8: return 2048;
        default: return 0;
        }
    }

    static void skipGenerated(Drive &d)
    {
        while (true) {
            const Drive::CuePoint *p = cueAt(d, d.m_writeNext);
            if (!p || hostBytes(p->form) != 0)
                return;
            const Drive::CuePoint *next = nullptr;
            for (const auto &q : d.m_cue)
                if (q.lba > d.m_writeNext) {
                    next = &q;
                    break;
                }
            if (!next)
                return;
            d.m_writeNext = next->lba;
        }
    }

    static void openTrack(Drive &d, Call &c, int lba)
    {
        if (lba != d.nextWritable()) {
            c.fail(0x05, 0x21, 0x02);
            return;
        }
        if (d.isCd() && expectedBlockBytes(d) == 0) {
            c.fail(0x05, 0x64, 0x00);
            return;
        }
        Track t;
        t.number = d.lastTrackNumber() + 1;
        t.session = int(d.m_sessions.size()) + 1;
        t.start = lba;
        t.pregap = d.isCd() && !(d.m_tracks.empty() && d.m_pending.empty()) ? lba - 150 : lba;
        t.end = lba;
        t.control = d.isCd() ? (d.m_page05[3] & 0x0f) : 4;
        t.audio = d.isCd() && !(t.control & 4);
        if (d.isCd() && (d.m_page05[32] & 0x80))
            t.isrc.assign(reinterpret_cast<const char *>(&d.m_page05[33]), 12);
        if (d.isCd() && (d.m_page05[16] & 0x80))
            d.m_cueMcn.assign(reinterpret_cast<const char *>(&d.m_page05[17]), 13);
        if (d.m_pending.empty()) {
            d.m_test = d.m_page05[2] & 0x10;
            d.m_bufe = d.m_page05[2] & 0x40;
            d.startRecording(d.m_writeSpeed);
        }
        d.m_pending.push_back(t);
        d.m_writeNext = lba;
        d.m_writing = true;
    }

    static void writeRandom(Drive &d, Call &c, int lba, unsigned count)
    {
        if (lba < 0 || lba + int(count) > d.capacity() || c.length != count * 2048) {
            c.fail(0x05, 0x21, 0x00);
            return;
        }
        if (!d.m_recording) {
            d.m_test = false;
            d.m_bufe = true;
            d.startRecording(d.m_writeSpeed);
        }
        d.writeSlots(lba, c.data, 2048, count);
        d.m_writeNext = std::max(d.m_writeNext, lba + int(count));
        d.feedBuffer(c.length, c.r);
        c.r.transferred = c.length;
    }

    // A write that broke off: a write-once disc is spoilt, a rewritable one
    // keeps what it had.
    static void abortWrite(Drive &d)
    {
        if (!d.m_test && (d.m_medium == Medium::cdr || d.m_medium == Medium::dvdr || d.m_medium == Medium::bdr)) {
            d.m_status = DiscStatus::complete;
            d.saveDisc();
        }
        d.m_pending.clear();
        d.m_cue.clear();
        d.m_writing = false;
        d.finishRecording("aborted");
    }

    static void commitSession(Drive &d, const std::string &what)
    {
        d.m_writing = false;
        if (d.m_test) {
            d.m_pending.clear();
            d.m_cue.clear();
            d.finishRecording(what + " test");
            return;
        }
        if (d.m_pending.empty())
            return;
        Session s;
        s.number = int(d.m_sessions.size()) + 1;
        s.leadOut = d.m_pending.back().end;
        d.m_sessions.push_back(s);
        for (const Track &t : d.m_pending)
            d.m_tracks.push_back(t);
        if (!d.m_cueMcn.empty())
            d.m_mcn = d.m_cueMcn;
        if (!d.m_pendingText.empty())
            d.m_cdText = d.m_pendingText;
        const bool multi = (d.m_page05[3] >> 6) == 3;
        d.m_status = multi ? DiscStatus::appendable : DiscStatus::complete;
        d.m_pending.clear();
        d.m_cue.clear();
        d.m_pendingText.clear();
        d.m_reservedEnd = 0;
        d.saveDisc();
        d.finishRecording(what);
    }

    static void synchronizeCache(Drive &d, Call &c)
    {
        if (d.m_medium == Medium::dvdprw) {
            if (d.m_recording) {
                Track t;
                t.start = t.pregap = 0;
                t.end = std::max(d.m_writeNext, d.m_tracks.empty() ? 0 : d.m_tracks.front().end);
                t.control = 4;
                t.audio = false;
                d.m_tracks = {t};
                d.m_sessions = {Session{1, t.end}};
                d.saveDisc();
                d.finishRecording("random");
            }
            return;
        }
        if (!d.m_writing)
            return;
        if (d.isCd() && writeType(d) == 2) {
            if (d.m_cue.empty())
                return;
            skipGenerated(d);
            if (d.m_writeNext >= d.m_cue.back().lba) {
                commitSession(d, "SAO");
            } else {
                if (std::getenv("TANDOR_MMC_TRACE")) {
                    std::fprintf(stderr, "mmc SAO short: next %d lead-out %d; cue:", d.m_writeNext, d.m_cue.back().lba);
                    for (const auto &p : d.m_cue)
                        std::fprintf(stderr, " [%d.%d form %02X at %d]", p.track, p.index, p.form, p.lba);
                    std::fprintf(stderr, "\n");
                }
                abortWrite(d);
                c.fail(0x05, 0x2C, 0x00); // the cue sheet promised more
            }
            return;
        }
        // On CD, track-at-once ends each track with a flush.
        if (d.isCd()) {
            if (!d.m_pending.empty())
                d.m_pending.back().end = d.m_writeNext;
            d.m_writing = false;
            return;
        }
        // Disc-at-once on DVD-R and BD-R ends with the reserved track.
        if (writeType(d) == 2 && !d.m_pending.empty() && d.m_reservedEnd > 0 && d.m_writeNext >= d.m_reservedEnd) {
            d.m_pending.back().end = d.m_writeNext;
            d.m_page05[3] &= 0x3f;
            commitSession(d, "DAO");
        }
    }

    static void closeTrackSession(Drive &d, Call &c)
    {
        const int function = c.cdb[2] & 7;
        if (function == 1) { // close track
            if (d.m_writing && !d.m_pending.empty()) {
                d.m_pending.back().end = d.m_writeNext;
                d.m_writing = false;
                if (d.isCd() && d.m_pending.back().end - d.m_pending.back().start < 300) {
                    c.fail(0x05, 0x21, 0x02); // shorter than four seconds
                    return;
                }
            }
            return;
        }
        if (function == 2 || function == 5 || function == 6) { // close session, finalize
            if (d.m_writing && !d.m_pending.empty()) {
                d.m_pending.back().end = d.m_writeNext;
                d.m_writing = false;
            }
            if (function == 6)
                d.m_page05[3] &= 0x3f;
            d.m_writing = true;
            commitSession(d, d.isCd() ? "TAO" : "sequential");
            d.sleepScaled(d.isCd() ? 20 : 10); // writing lead-in and lead-out
            return;
        }
        c.invalidField();
    }

    static void reserveTrack(Drive &d, Call &c)
    {
        if (d.isCd() || d.m_status != DiscStatus::blank) {
            c.fail(0x05, 0x2C, 0x00);
            return;
        }
        const unsigned size = be32(c.cdb + 5);
        d.m_reservedEnd = d.nextWritable() + int(size);
        if (d.m_reservedEnd > d.capacity()) {
            d.m_reservedEnd = 0;
            c.fail(0x05, 0x21, 0x00);
        }
    }

    static void blank(Drive &d, Call &c)
    {
        if (d.m_medium != Medium::cdrw) {
            c.fail(0x05, 0x30, 0x05); // cannot write medium, incompatible format
            return;
        }
        const int type = c.cdb[1] & 7;
        if (type > 1) {
            c.invalidField();
            return;
        }
        // A full blank rewrites the whole disc at 10x; a minimal one only the
        // lead-in and the table of contents.
        const double seconds = type == 0 ? d.capacity() / (75.0 * 10) : 30.0;
        d.freshDisc(Medium::cdrw);
        appendLog(d, type == 0 ? "blank full" : "blank minimal");
        wait(d, c.cdb[1] & 0x10, seconds);
    }

    static void formatUnit(Drive &d, Call &c)
    {
        if (d.m_medium != Medium::dvdprw) {
            c.fail(0x05, 0x30, 0x05);
            return;
        }
        const bool immediate = c.length >= 2 && (c.data[1] & 2);
        d.m_formatted = true;
        d.m_tracks.clear();
        d.m_sessions.clear();
        d.m_status = DiscStatus::complete;
        d.saveDisc();
        appendLog(d, "format");
        wait(d, immediate, 20.0);
    }

    static void appendLog(Drive &d, const char *what) { d.appendWriteLog(what); }

    static void wait(Drive &d, bool immediate, double realSeconds)
    {
        d.m_busyFrom = std::chrono::steady_clock::now();
        d.m_busyUntil = d.m_busyFrom + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                           std::chrono::duration<double>(realSeconds / d.m_timeFactor));
        if (!immediate) {
            std::this_thread::sleep_until(d.m_busyUntil);
        }
    }

    static const Entry *find(uint8_t opcode)
    {
        static const Entry table[] = {
            {0x00, true, testUnitReady},
            {0x03, false, requestSense},
            {0x04, true, formatUnit},
            {0x12, false, inquiry},
            {0x1B, false, startStopUnit},
            {0x1E, false, preventAllow},
            {0x23, true, readFormatCapacities},
            {0x25, true, readCapacity},
            {0x28, true, read10},
            {0x2A, true, write10},
            {0x35, true, synchronizeCache},
            {0x42, true, readSubChannel},
            {0x43, true, readToc},
            {0x46, false, getConfiguration},
            {0x4A, false, getEventStatus},
            {0x51, true, readDiscInformation},
            {0x52, true, readTrackInformation},
            {0x53, true, reserveTrack},
            {0x54, true, sendOpc},
            {0x55, false, modeSelect},
            {0x5A, false, modeSense},
            {0x5B, true, closeTrackSession},
            {0x5C, false, readBufferCapacity},
            {0x5D, true, sendCueSheet},
            {0xA1, true, blank},
            {0xA8, true, read10},
            {0xAA, true, write10},
            {0xAC, false, getPerformance},
            {0xAD, true, readDiscStructure},
            {0xB6, false, setStreaming},
            {0xB9, true, readCd},
            {0xBB, false, setCdSpeed},
            {0xBE, true, readCd},
        };
        for (const Entry &e : table)
            if (e.opcode == opcode)
                return &e;
        return nullptr;
    }
};

Result Drive::execute(const uint8_t *cdb, unsigned cdbLen, Direction dir, uint8_t *data, unsigned length,
                      unsigned timeoutMs)
{
    std::lock_guard lock(m_mutex);
    Call c{cdb, cdbLen, dir, data, length, timeoutMs, {}, {}, 0};
    if (m_gone) {
        c.r.gone = true;
        return c.r;
    }
    const uint8_t op = cdbLen > 0 ? cdb[0] : 0xff;
    const bool isWrite = op == 0x2A || op == 0xAA;

    if (m_fault != Fault::none) {
        // A drive spinning up says so to whoever polls it with TEST UNIT READY,
        // and turns away whatever needs the disc meanwhile.
        const bool readCd = op == 0xBE || op == 0xB9;
        const bool counts = m_fault == Fault::becomingReady ? op == 0x00
                            : m_fault == Fault::mediumRemoved ? isWrite || readCd
                                                              : isWrite;
        if (m_fault == Fault::becomingReady && m_faultAfter == 0 && !counts) {
            const Commands::Entry *entry = Commands::find(op);
            if (entry && entry->needsMedium) {
                c.fail(0x02, 0x04, 0x01);
                return c.r;
            }
        }
        if (counts && m_faultAfter > 0) {
            --m_faultAfter;
        } else if (counts) {
            const Fault fault = m_fault;
            if (m_faultCount > 0 && --m_faultCount == 0)
                m_fault = Fault::none;
            switch (fault) {
            case Fault::writeError:
                c.fail(0x03, 0x0C, 0x00);
                Commands::abortWrite(*this);
                return c.r;
            case Fault::mediumRemoved:
                if (isWrite)
                    Commands::abortWrite(*this);
                m_trayOpen = true;
                m_mediaEvent = true;
                saveDisc();
                c.fail(0x02, 0x3A, 0x02);
                return c.r;
            case Fault::becomingReady:
                c.fail(0x02, 0x04, 0x01);
                return c.r;
            case Fault::timeout:
                sleepScaled(timeoutMs / 1000.0);
                c.r.timedOut = true;
                return c.r;
            case Fault::underrun:
                m_filledOnce = true;
                m_fill = 0;
                break;
            case Fault::vanish:
                m_gone = true;
                m_writing = false;
                c.r.gone = true;
                return c.r;
            case Fault::none:
            case Fault::unreadable:
            case Fault::unstable: break;
            }
        }
    }

    const Commands::Entry *entry = Commands::find(op);
    if (!entry) {
        c.fail(0x05, 0x20, 0x00); // invalid command operation code
        return c.r;
    }
    if (m_busyUntil > std::chrono::steady_clock::now() && op != 0x03 && op != 0x12 && op != 0x4A && op != 0x46) {
        c.fail(0x02, 0x04, 0x07);
        c.r.sense.progress = int(Commands::progress(*this));
        return c.r;
    }
    if (m_unitAttention && op != 0x12 && op != 0x03 && op != 0x4A) {
        m_unitAttention = false;
        c.fail(0x06, 0x28, 0x00); // not ready to ready change, medium may have changed
        return c.r;
    }
    if (entry->needsMedium && (m_trayOpen || m_medium == Medium::none)) {
        c.fail(0x02, 0x3A, m_trayOpen ? 0x02 : 0x01);
        return c.r;
    }
    entry->fn(*this, c);
    // TANDOR_MMC_TRACE=1 lists every command, as a drive's bus analyser would.
    static const bool trace = std::getenv("TANDOR_MMC_TRACE") != nullptr;
    if (trace)
        std::fprintf(stderr, "mmc %s %.3f %02X -> %d %X/%02X/%02X %d+%u\n", m_device.c_str(),
                     std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(), op,
                     c.r.status, c.r.sense.key, c.r.sense.asc, c.r.sense.ascq, cdbLen >= 6 ? int(be32(cdb + 2)) : 0,
                     length);
    if (dir == Direction::fromDrive && c.r.status == 0 && !c.reply.empty()) {
        const unsigned n = std::min<unsigned>({unsigned(c.reply.size()), c.allocation, length});
        std::memcpy(data, c.reply.data(), n);
        c.r.transferred = n;
    }
    return c.r;
}

void Drive::closedWhileWriting()
{
    if (m_writing || !m_pending.empty())
        Commands::abortWrite(*this);
}

} // namespace mmc
