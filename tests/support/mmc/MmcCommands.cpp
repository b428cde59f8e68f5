// The drive's command table: one small function per MMC opcode, after the
// public MMC drafts and what libburn, cdrskin, cdrdao and our own reader are
// seen to send. Variants none of them sends (READ CD by MSF, the 12-byte READ
// and WRITE, REQUEST SENSE, performance descriptors, ...) are left out.

#include "MmcDrive.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace mmc {

namespace {

unsigned be16(const uint8_t *p) { return unsigned(p[0]) << 8 | p[1]; }
unsigned be24(const uint8_t *p) { return unsigned(p[0]) << 16 | be16(p + 1); }
unsigned be32(const uint8_t *p) { return unsigned(p[0]) << 24 | be24(p + 1); }

void put16(std::vector<uint8_t> &v, size_t at, unsigned x)
{
    v[at] = uint8_t(x >> 8);
    v[at + 1] = uint8_t(x);
}
void put32(std::vector<uint8_t> &v, size_t at, unsigned x)
{
    put16(v, at, x >> 16);
    put16(v, at + 2, x);
}

uint8_t bcd(int x) { return uint8_t((x / 10) << 4 | (x % 10)); }

constexpr int leadInStart = -12375; // 97:15:00, as the ATIP of CD-R and CD-RW gives it

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
void putMsf(std::vector<uint8_t> &v, size_t at, Msf t)
{
    v[at] = uint8_t(t.m);
    v[at + 1] = uint8_t(t.s);
    v[at + 2] = uint8_t(t.f);
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
    uint8_t *data;
    unsigned length;
    Result r;
    std::vector<uint8_t> reply;
    unsigned allocation = 0; // from the CDB; the reply is cut to it

    void fail(uint8_t key, uint8_t asc, uint8_t ascq)
    {
        r.status = 2;
        r.sense = {key, asc, ascq};
    }
    // The refusals of ILLEGAL REQUEST a drive gives most.
    void invalidField() { fail(0x05, 0x24, 0x00); }
    void badParameters() { fail(0x05, 0x26, 0x00); }
    void outOfSequence() { fail(0x05, 0x2C, 0x00); }
    void badAddress() { fail(0x05, 0x21, 0x00); }
    void badWriteAddress() { fail(0x05, 0x21, 0x02); }
    void wrongMode() { fail(0x05, 0x64, 0x00); } // illegal mode for this track

    std::vector<uint8_t> &answer(size_t bytes, unsigned alloc)
    {
        reply.assign(bytes, 0);
        allocation = alloc;
        return reply;
    }
    void send(std::vector<uint8_t> &out, unsigned alloc)
    {
        reply = std::move(out);
        allocation = alloc;
    }
};

struct Commands
{
    struct Entry
    {
        uint8_t opcode;
        bool needsMedium;
        void (*fn)(Drive &, Call &);
    };

    // ---- Identity and state ---------------------------------------------
    // TEST UNIT READY, PREVENT ALLOW MEDIUM REMOVAL, SEND OPC: nothing to do.
    static void accept(Drive &, Call &) {}

    static void inquiry(Drive &, Call &c)
    {
        auto &v = c.answer(36, be16(c.cdb + 3));
        v[0] = 0x05; // CD/DVD device
        v[1] = 0x80; // removable
        v[2] = 0x05;
        v[3] = 0x32;
        v[4] = 31;
        std::memcpy(&v[8], "KLVO    Emulated Burner 1.00", 28);
    }

    static void startStopUnit(Drive &d, Call &c)
    {
        const bool loadEject = c.cdb[4] & 2, start = c.cdb[4] & 1;
        if (!loadEject)
            return;
        if (d.m_writing)
            return c.fail(0x05, 0x53, 0x02); // medium removal prevented
        d.m_trayOpen = !start;
        d.m_mediaEvent = true;
        if (start && d.m_medium != Medium::none)
            d.m_unitAttention = false;
        d.saveDisc();
    }

    // Polled, for the media class: what is always asked.
    static void getEventStatus(Drive &d, Call &c)
    {
        auto &v = c.answer(8, be16(c.cdb + 7));
        put16(v, 0, 6);
        v[2] = 0x04;
        v[3] = 0x10; // media class supported
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
        std::vector<uint8_t> body;
        if (page == 0x05) {
            body.assign(d.m_page05.begin(), d.m_page05.begin() + 2 + d.m_page05[1]);
        } else if (page == 0x2A) {
            const std::vector<int> speeds = d.writeSpeeds();
            body.assign(32 + 4 * speeds.size(), 0);
            body[0] = 0x2A;
            body[1] = uint8_t(body.size() - 2);
            body[2] = 0x3B;  // reads CD-R, CD-RW, DVD-ROM, DVD-R, DVD-RAM
            body[3] = 0x17;  // writes CD-R, CD-RW, DVD-R; test write
            body[4] = 0xF1;  // BUF, multi-session, mode 2 forms, audio
            body[5] = 0x67;  // CD-DA, accurate stream, R-W, ISRC, UPC
            body[6] = 0x29;  // tray, eject, lock
            const unsigned fastest = speeds.empty() ? 7056 : unsigned(speeds.front());
            const unsigned current = d.m_writeSpeed > 0 ? unsigned(d.m_writeSpeed) : fastest;
            put16(body, 8, 7056);
            put16(body, 12, d.m_bufferBytes / 1024);
            put16(body, 14, 7056);
            put16(body, 18, fastest);
            put16(body, 20, current);
            put16(body, 28, current);
            put16(body, 30, unsigned(speeds.size()));
            for (size_t i = 0; i < speeds.size(); ++i)
                put16(body, 32 + 4 * i + 2, unsigned(speeds[i]));
        } else if (page == 0x01) {
            body = {0x01, 0x0A, 0x00, 0x03, 0, 0, 0, 0, 0x03, 0, 0, 0};
        } else {
            return c.invalidField();
        }
        auto &v = c.answer(8 + body.size(), be16(c.cdb + 7));
        put16(v, 0, unsigned(v.size() - 2));
        std::copy(body.begin(), body.end(), v.begin() + 8);
    }

    // Takes the write parameters page; others pass unread.
    static void modeSelect(Drive &d, Call &c)
    {
        const unsigned n = std::min(c.length, be16(c.cdb + 7));
        const unsigned at = n < 8 ? n : 8 + be16(c.data + 6); // past the block descriptors
        if (at + 2 > n || (c.data[at] & 0x3f) != 0x05)
            return;
        const uint8_t *page = c.data + at;
        const unsigned len = std::min<unsigned>({unsigned(page[1]) + 2, n - at, unsigned(d.m_page05.size())});
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
            out.insert(out.end(), {uint8_t(code >> 8), uint8_t(code),
                                   uint8_t(version << 2 | (code < 3 ? 2 : 0) | (current ? 1 : 0)), uint8_t(data.size())});
            out.insert(out.end(), data.begin(), data.end());
        };
        std::vector<uint8_t> profiles;
        for (int p : {0x41, 0x40, 0x1A, 0x11, 0x10, 0x0A, 0x09, 0x08})
            profiles.insert(profiles.end(), {uint8_t(p >> 8), uint8_t(p), uint8_t(p == profile), 0});
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
        feature(0x002D, writableCd, 2, {0x46, 0, 0x01, 0x01}); // BUF set in each write feature
        feature(0x002E, writableCd && d.m_status == DiscStatus::blank, 0, {0x67, 0x01, 0x00, 0x00});
        feature(0x002F, profile == 0x11 && d.m_status == DiscStatus::blank, 1, {0x44, 0, 0, 0});
        feature(0x0040, profile == 0x41 || profile == 0x40, 0, std::vector<uint8_t>(28, 0));
        feature(0x0041, profile == 0x41, 0, std::vector<uint8_t>(24, 0));
        feature(0x0100, true, 0, {});
        feature(0x0105, true, 1, {0, 0, 0, 0});
        feature(0x0107, true, 4, {0x1F, 0, 0, 0});
        put32(out, 0, unsigned(out.size() - 4));
        c.send(out, be16(c.cdb + 7));
    }

    // Asked for the header alone: the drive's speeds come from page 2A.
    static void getPerformance(Drive &, Call &c)
    {
        auto &v = c.answer(8, 8);
        put32(v, 0, 4);
        v[4] = c.cdb[10] == 0x00 && (c.cdb[1] & 4) ? 2 : 0; // write performance
    }

    static void setCdSpeed(Drive &d, Call &c)
    {
        const unsigned write = be16(c.cdb + 4);
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
        d.drainBuffer();
        auto &v = c.answer(12, be16(c.cdb + 7));
        put16(v, 0, 10);
        put32(v, 4, d.m_bufferBytes);
        put32(v, 8, d.m_recording ? unsigned(std::max(0.0, d.m_bufferBytes - d.m_fill)) : d.m_bufferBytes);
    }

    // ---- Reading the disc's structure ------------------------------------
    static void readDiscInformation(Drive &d, Call &c)
    {
        auto &v = c.answer(34, be16(c.cdb + 7));
        put16(v, 0, 32);
        const bool erasable = d.m_medium == Medium::cdrw || d.m_medium == Medium::dvdprw;
        DiscStatus status = d.m_status;
        if (d.m_medium == Medium::dvdprw) // overwritable: always offered as blank or full
            status = d.m_formatted ? DiscStatus::complete : DiscStatus::blank;
        const int lastSessionState = status == DiscStatus::complete ? 3 : 0;
        v[2] = uint8_t((erasable ? 0x10 : 0) | lastSessionState << 2 | int(status));
        v[3] = 1;
        const int sessions = int(d.m_sessions.size()) + (status == DiscStatus::complete ? 0 : 1);
        const int next = d.lastTrackNumber() + 1;
        int firstInLast = next, lastInLast = next;
        if (status == DiscStatus::complete && !d.m_tracks.empty()) {
            const int last = d.m_tracks.back().session;
            firstInLast = std::find_if(d.m_tracks.begin(), d.m_tracks.end(), [last](const Track &t) { return t.session == last; })->number;
            lastInLast = d.m_tracks.back().number;
        }
        v[4] = uint8_t(std::max(1, sessions));
        v[5] = uint8_t(firstInLast);
        v[6] = uint8_t(lastInLast);
        v[7] = 0x20 | (d.m_medium == Medium::dvdprw && d.m_formatted ? 3 : 0);
        if (d.isCd() && status != DiscStatus::complete) {
            putMsf(v, 17, msfOf(d.m_sessions.empty() ? leadInStart : d.nextWritable() - 4650));
            putMsf(v, 21, msfOf(d.capacity()));
        } else {
            put32(v, 16, 0xFFFFFFFF);
            put32(v, 20, 0xFFFFFFFF);
        }
    }

    // Addressed by track number, the invisible track as 0xFF or its number.
    static void readTrackInformation(Drive &d, Call &c)
    {
        const unsigned address = be32(c.cdb + 2);
        const int next = d.lastTrackNumber() + 1;
        const bool plusRw = d.m_medium == Medium::dvdprw;
        const bool open = d.m_status != DiscStatus::complete && !plusRw;
        const bool wholeDisc = plusRw && (address == 1 || address == 0xFF);
        const Track *track = nullptr;
        const bool invisible = open && (address == 0xFF || int(address) == next);
        for (const Track &t : d.m_tracks)
            if (!invisible && !wholeDisc && t.number == int(address))
                track = &t;
        if (!track && !invisible && !wholeDisc)
            return c.invalidField();
        auto &v = c.answer(36, be16(c.cdb + 7));
        put16(v, 0, 34);
        if (wholeDisc) { // DVD+RW: one track over the whole disc
            v[2] = v[3] = 1;
            v[5] = 0x04;
            v[6] = v[7] = 0x01;
            put32(v, 16, unsigned(d.capacity()));
            put32(v, 24, unsigned(d.capacity()));
            return;
        }
        if (track) {
            v[2] = uint8_t(track->number);
            v[3] = uint8_t(track->session);
            v[5] = uint8_t(track->control);
            v[6] = track->audio ? 0x0F : 0x01;
            v[7] = 0x02;
            put32(v, 8, unsigned(track->start));
            put32(v, 24, unsigned(track->end - track->start));
            put32(v, 28, unsigned(track->end - 1));
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

    static void readCapacity(Drive &d, Call &c)
    {
        int end = d.m_medium == Medium::dvdprw && d.m_formatted ? d.capacity() : 0;
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
            out.resize(20, 0);
            put32(out, 12, unsigned(d.capacity()));
            out[16] = 0x26 << 2;
        }
        out[3] = uint8_t(out.size() - 4);
        c.send(out, be16(c.cdb + 7));
    }

    static void readDiscStructure(Drive &d, Call &c)
    {
        if (d.isCd() || c.cdb[7] != 0x00) // physical format information only
            return c.invalidField();
        auto &v = c.answer(4 + 2048, be16(c.cdb + 8));
        put16(v, 0, 2050);
        v[4] = d.m_medium == Medium::dvdprw ? 0x92 : 0x25; // book type and version
        v[5] = 0x0F;
        v[6] = 0x01;
        put32(v, 8, 0x030000);
        put32(v, 12, unsigned(0x030000 + d.capacity() - 1));
    }

    // Formats 0, 1 and 2 by LBA; 4, the ATIP; 5, the CD-Text packs.
    static void readToc(Drive &d, Call &c)
    {
        int format = c.cdb[2] & 0x0f;
        if (format == 0)
            format = c.cdb[9] >> 6;
        std::vector<uint8_t> out(4, 0);
        auto entry = [&out](int ctl, int number, int lba) {
            out.insert(out.end(), {0, uint8_t(0x10 | ctl), uint8_t(number), 0, uint8_t(unsigned(lba) >> 24),
                                   uint8_t(unsigned(lba) >> 16), uint8_t(unsigned(lba) >> 8), uint8_t(lba)});
        };
        if (format == 4) {
            if (!d.isCd())
                return c.invalidField();
            out.resize(28, 0);
            out[4] = 0x80 | 0x50 | 0x05;
            out[5] = 0x40;
            out[6] = uint8_t(0x80 | (d.m_medium == Medium::cdrw ? 0x40 : 0));
            putMsf(out, 8, msfOf(leadInStart));
            putMsf(out, 12, msfOf(d.capacity()));
        } else if (format == 5) {
            for (const auto &pack : d.m_cdText)
                out.insert(out.end(), pack.begin(), pack.end());
        } else if (d.m_tracks.empty()) {
            return c.invalidField();
        } else if (format == 0) {
            out[2] = uint8_t(d.m_tracks.front().number);
            out[3] = uint8_t(d.m_tracks.back().number);
            for (const Track &t : d.m_tracks)
                if (t.number >= c.cdb[6])
                    entry(t.control, t.number, t.start);
            entry(d.m_tracks.back().control, 0xAA, d.m_sessions.back().leadOut);
        } else if (format == 1) {
            // A disc with tracks has sessions; each session has tracks.
            const int last = d.m_sessions.back().number;
            out[2] = 1;
            out[3] = uint8_t(last);
            const Track &t = *std::find_if(d.m_tracks.begin(), d.m_tracks.end(), [last](const Track &t) { return t.session == last; });
            entry(t.control, t.number, t.start);
        } else if (format == 2) {
            out[2] = 1;
            out[3] = uint8_t(d.m_sessions.back().number);
            for (const Session &s : d.m_sessions) {
                std::vector<const Track *> tracks;
                for (const Track &t : d.m_tracks)
                    if (t.session == s.number)
                        tracks.push_back(&t);
                auto point = [&](int ctl, int pointCode, Msf p) {
                    out.insert(out.end(), {uint8_t(s.number), uint8_t(0x10 | ctl), 0, uint8_t(pointCode), 0, 0, 0, 0,
                                           uint8_t(p.m), uint8_t(p.s), uint8_t(p.f)});
                };
                point(tracks.front()->control, 0xA0, {tracks.front()->number, 0, 0});
                point(tracks.back()->control, 0xA1, {tracks.back()->number, 0, 0});
                point(tracks.back()->control, 0xA2, msfOf(s.leadOut));
                for (const Track *t : tracks)
                    point(t->control, t->number, msfOf(t->start));
            }
        } else {
            return c.invalidField();
        }
        put16(out, 0, unsigned(out.size() - 2));
        c.send(out, be16(c.cdb + 7));
    }

    // Formatted Q of one sector, as the disc's sub-channel carries it. The
    // catalogue number and ISRCs take a frame in a hundred, never the first
    // of an index: that one says where it begins.
    static std::array<uint8_t, 12> subQ(const Drive &d, int lba)
    {
        std::array<uint8_t, 12> q{};
        const Track &t = *d.trackAt(lba); // readCd has refused sectors off the disc
        const Msf abs = msfOf(lba);
        const bool first = lba == t.pregap || lba == t.start
                           || std::find(t.indexes.begin(), t.indexes.end(), lba) != t.indexes.end();
        if (!first && !t.isrc.empty() && (lba - t.start) % 100 == 50 && lba >= t.start) {
            q[0] = uint8_t(t.control << 4 | 3);
            uint64_t bits = 0;
            for (int i = 0; i < 5; ++i)
                bits = bits << 6 | sixBit(t.isrc[size_t(i)]);
            bits <<= 2;
            for (int i = 5; i < 12; ++i)
                bits = bits << 4 | uint64_t(t.isrc[size_t(i)] - '0');
            bits <<= 4;
            for (int i = 0; i < 8; ++i)
                q[size_t(1 + i)] = uint8_t(bits >> (56 - 8 * i));
            q[9] = bcd(abs.f);
        } else if (!first && !d.m_mcn.empty() && (lba + 150) % 100 == 25) {
            q[0] = uint8_t(t.control << 4 | 2);
            for (int i = 0; i < 13; ++i) {
                const uint8_t digit = uint8_t(d.m_mcn[size_t(i)] - '0');
                q[size_t(1 + i / 2)] |= i % 2 ? digit : uint8_t(digit << 4);
            }
            q[9] = bcd(abs.f);
        } else {
            q[0] = uint8_t(t.control << 4 | 1);
            int index = lba < t.start ? 0 : 1;
            for (int at : t.indexes)
                if (lba >= at)
                    ++index;
            const Msf r = msfOf(std::abs(lba - t.start) - 150); // counts down through the pre-gap
            q[1] = bcd(t.number);
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
    // Refuses a sector that isn't on the disc, isn't of the kind asked for
    // (audio or data) or can't be read.
    static bool readable(const Drive &d, Call &c, int lba, bool audio)
    {
        const Track *t = d.trackAt(lba);
        const bool formatted = !audio && d.m_medium == Medium::dvdprw && d.m_formatted;
        if (formatted ? lba < 0 || lba >= d.capacity() : !t)
            c.badAddress();
        else if (t && t->audio != audio)
            c.wrongMode();
        else if (d.unreadable(lba))
            c.fail(0x03, 0x11, 0x00); // unrecovered read error
        return c.r.status == 0;
    }

    static void read10(Drive &d, Call &c)
    {
        const int lba = int(be32(c.cdb + 2));
        const unsigned count = be16(c.cdb + 7);
        if (c.length < count * 2048)
            return c.invalidField();
        const std::vector<uint8_t> slots = d.readSlots(lba, count);
        for (unsigned i = 0; i < count; ++i) {
            if (!readable(d, c, lba + int(i), false))
                return;
            std::memcpy(c.data + i * 2048, slots.data() + size_t(i) * size_t(d.slotBytes()), 2048);
            c.r.transferred += 2048;
        }
    }

    // Audio sectors, with the raw P-W (1), formatted Q (2) or raw R-W (4)
    // sub-channel after each.
    static void readCd(Drive &d, Call &c)
    {
        const int lba = int(be32(c.cdb + 2));
        const unsigned count = be24(c.cdb + 6);
        const int expected = (c.cdb[1] >> 2) & 7;
        const int sub = c.cdb[10] & 7;
        if (!d.isCd() || expected == 2) // asked for data
            return c.wrongMode();
        // Slots fetched 64 at a time: the count comes from the command.
        std::vector<uint8_t> slots;
        unsigned at = 0;
        for (unsigned i = 0; i < count; ++i) {
            const int sector = lba + int(i);
            if (!readable(d, c, sector, true))
                return;
            if (i % 64 == 0)
                slots = d.readSlots(sector, std::min(64u, count - i));
            const auto slot = slots.begin() + ptrdiff_t(i % 64) * 2352;
            std::vector<uint8_t> out(slot, slot + 2352);
            const std::array<uint8_t, 12> q = subQ(d, sector);
            if (sub == 1 || sub == 4) { // P and Q in each symbol's top bits; R-W stay blank
                const bool pause = sector < d.trackAt(sector)->start;
                for (int b = 0; b < 96; ++b)
                    out.push_back(sub == 4 ? 0 : uint8_t((pause ? 0x80 : 0) | (q[size_t(b / 8)] & (0x80 >> (b % 8)) ? 0x40 : 0)));
            } else if (sub == 2) {
                out.insert(out.end(), q.begin(), q.end());
                out.insert(out.end(), 4, 0);
            }
            if (at + out.size() > c.length)
                return c.invalidField();
            std::memcpy(c.data + at, out.data(), out.size());
            at += unsigned(out.size());
        }
        c.r.transferred = at;
    }

    // The catalogue number (format 2) or a track's ISRC (3).
    static void readSubChannel(Drive &d, Call &c)
    {
        const int format = c.cdb[3];
        if (format != 2 && format != 3)
            return c.invalidField();
        auto &out = c.answer(24, be16(c.cdb + 7));
        out[1] = 0x15;
        out[3] = 20;
        out[4] = uint8_t(format);
        if (format == 2 && !d.m_mcn.empty()) {
            out[8] = 0x80;
            std::memcpy(&out[9], d.m_mcn.data(), 13);
        }
        for (const Track &t : d.m_tracks)
            if (format == 3 && t.number == c.cdb[6]) {
                out[5] = uint8_t(0x10 | t.control);
                out[6] = uint8_t(t.number);
                if (!t.isrc.empty()) {
                    out[8] = 0x80;
                    std::memcpy(&out[9], t.isrc.data(), 12);
                }
            }
    }

    // ---- Writing --------------------------------------------------------
    static int writeType(const Drive &d) { return d.m_page05[2] & 0x0f; }

    static bool canWrite(Drive &d, Call &c)
    {
        if (d.m_medium == Medium::dvdprw && !d.m_formatted)
            c.fail(0x05, 0x30, 0x00); // incompatible medium (not formatted)
        else if (d.m_medium != Medium::dvdprw && d.m_status == DiscStatus::complete)
            c.badWriteAddress();
        return c.r.status == 0;
    }

    static void sendCueSheet(Drive &d, Call &c)
    {
        const unsigned n = std::min(c.length, be24(c.cdb + 6));
        if (!d.isCd() || writeType(d) != 2 || n % 8 || n == 0)
            return c.outOfSequence();
        if (!canWrite(d, c))
            return;
        std::vector<Track> tracks;
        if (!readCueSheet(d, c.data, n, tracks))
            return c.badParameters();
        d.m_pending = tracks;
        d.m_pendingText.clear();
        d.m_writeNext = d.m_cue[1].lba;
        d.m_writing = true;
        d.m_sessionDirty = false;
        d.startRecording(d.m_page05[2] & 0x10, d.m_page05[2] & 0x40);
    }

    // The sheet's entries into cue points and tracks; false when it doesn't
    // run from the lead-in through tracks in order to the lead-out.
    static bool readCueSheet(Drive &d, const uint8_t *p, unsigned n, std::vector<Track> &tracks)
    {
        d.m_cue.clear();
        d.m_cueMcn.clear();
        std::vector<std::pair<int, std::string>> isrcs; // track, ISRC
        for (unsigned i = 0; i < n; i += 8, p += 8) {
            const int adr = p[0] & 0x0f;
            if ((adr == 2 || adr == 3) && i + 8 >= n) // each takes two entries
                return false;
            if (adr == 2)
                d.m_cueMcn = std::string(reinterpret_cast<const char *>(p + 1), 7) + std::string(reinterpret_cast<const char *>(p + 9), 6);
            else if (adr == 3)
                isrcs.emplace_back(p[1], std::string(reinterpret_cast<const char *>(p + 2), 6) + std::string(reinterpret_cast<const char *>(p + 10), 6));
            else if (adr == 1)
                d.m_cue.push_back({p[1], p[2], p[3], lbaOf(p[5], p[6], p[7]), uint8_t(p[0] >> 4)});
            else
                return false;
            if (adr != 1)
                i += 8, p += 8;
        }
        if (d.m_cue.size() < 3 || d.m_cue.front().track != 0 || d.m_cue.back().track != 0xAA)
            return false;
        for (size_t i = 1; i + 1 < d.m_cue.size(); ++i) {
            const Drive::CuePoint &p = d.m_cue[i];
            if (p.lba < d.m_cue[i - 1].lba || p.track < 1 || p.track > 99)
                return false;
            if (tracks.empty() || tracks.back().number != p.track) {
                if (!tracks.empty() && p.track != tracks.back().number + 1)
                    return false;
                Track &t = tracks.emplace_back();
                t.number = p.track;
                t.session = int(d.m_sessions.size()) + 1;
                t.pregap = p.lba;
                t.start = p.index == 0 ? -1 : p.lba;
                t.control = p.ctl & 0x0f;
                t.audio = !(t.control & 4);
            } else if (p.index == 1) {
                tracks.back().start = p.lba;
            } else if (p.index >= 2) {
                tracks.back().indexes.push_back(p.lba);
            }
        }
        for (size_t i = 0; i < tracks.size(); ++i) {
            tracks[i].end = i + 1 < tracks.size() ? tracks[i + 1].pregap : d.m_cue.back().lba;
            if (tracks[i].start < 0 || tracks[i].end <= tracks[i].start)
                return false;
            for (const auto &[number, isrc] : isrcs)
                if (number == tracks[i].number)
                    tracks[i].isrc = isrc;
        }
        return true;
    }

    // Bytes the host sends per sector of a cue sheet's data form.
    static unsigned hostBytes(int form) { return (form & 0x3f) == 0x10 ? 2048 : 2352; }

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
        const int lba = int(be32(c.cdb + 2));
        const unsigned count = be16(c.cdb + 7);
        if (count == 0 || !canWrite(d, c))
            return;
        const unsigned blockBytes = c.length / count;
        if (blockBytes * count != c.length)
            return c.invalidField();
        if (d.m_medium == Medium::dvdprw)
            return writeRandom(d, c, lba, count);
        const bool sao = d.isCd() && writeType(d) == 2;
        if (sao && d.m_cue.empty())
            return c.outOfSequence();
        if (sao && lba < -150) {
            if (blockBytes != 96 || lba < leadInStart || !(d.m_cue.front().form & 0x40) || !takeLeadIn(d, c.data, count))
                return c.badParameters();
            if (!d.feedBuffer(c.length, c.r))
                abortWrite(d);
            c.r.transferred = c.length;
            return;
        }
        if (!sao && !d.m_writing) {
            openTrack(d, c, lba);
            if (c.r.status)
                return;
        }
        // Sectors up to a refused one are on the disc, as on a drive.
        unsigned accepted = 0;
        for (; accepted < count; ++accepted, ++d.m_writeNext) {
            const int at = lba + int(accepted);
            const Drive::CuePoint *p = sao ? cueAt(d, at) : nullptr;
            if (at != d.m_writeNext || (sao && (!p || at >= d.m_cue.back().lba || hostBytes(p->form) != blockBytes)))
                c.badWriteAddress();
            else if (!sao && blockBytes != expectedBlockBytes(d))
                c.invalidField();
            else if (!sao && (at >= d.capacity() || (d.m_reservedEnd > 0 && at >= d.m_reservedEnd)))
                c.badAddress();
            if (c.r.status)
                break;
        }
        if (!d.m_test)
            d.writeSlots(lba, c.data, blockBytes, accepted);
        if (c.r.status)
            return;
        if (!d.feedBuffer(c.length, c.r))
            return abortWrite(d);
        c.r.transferred = c.length;
    }

    // From the data block type of page 5: 0 raw, 8 Mode 1; 0 for others.
    static unsigned expectedBlockBytes(const Drive &d)
    {
        const int type = d.m_page05[4] & 0x0f;
        return !d.isCd() ? 2048 : type == 0 ? 2352 : type == 8 ? 2048 : 0;
    }

    static void openTrack(Drive &d, Call &c, int lba)
    {
        if (lba != d.nextWritable())
            return c.badWriteAddress();
        if (d.isCd() && expectedBlockBytes(d) == 0)
            return c.wrongMode();
        Track t;
        t.number = d.lastTrackNumber() + 1;
        t.session = int(d.m_sessions.size()) + 1;
        t.start = t.end = lba;
        t.pregap = d.isCd() && !(d.m_tracks.empty() && d.m_pending.empty()) ? lba - 150 : lba;
        t.control = d.isCd() ? (d.m_page05[3] & 0x0f) : 4;
        t.audio = d.isCd() && !(t.control & 4);
        if (d.isCd() && (d.m_page05[32] & 0x80))
            t.isrc.assign(reinterpret_cast<const char *>(&d.m_page05[33]), 12);
        if (d.isCd() && (d.m_page05[16] & 0x80))
            d.m_cueMcn.assign(reinterpret_cast<const char *>(&d.m_page05[17]), 13);
        if (d.m_pending.empty())
            d.startRecording(d.m_page05[2] & 0x10, d.m_page05[2] & 0x40);
        d.m_pending.push_back(t);
        d.m_writeNext = lba;
        d.m_writing = true;
    }

    static void writeRandom(Drive &d, Call &c, int lba, unsigned count)
    {
        if (lba < 0 || lba + int(count) > d.capacity() || c.length != count * 2048)
            return c.badAddress();
        if (!d.m_recording)
            d.startRecording(false, true);
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
        endSession(d, "aborted");
    }

    // The open session is over, on the disc or not.
    static void endSession(Drive &d, const std::string &what)
    {
        d.m_pending.clear();
        d.m_cue.clear();
        d.m_pendingText.clear();
        d.m_writing = false;
        d.finishRecording(what);
    }

    static void commitSession(Drive &d, const std::string &what)
    {
        d.m_writing = false;
        if (d.m_test)
            return endSession(d, what + " test");
        if (d.m_pending.empty())
            return;
        d.m_sessions.push_back(Session{int(d.m_sessions.size()) + 1, d.m_pending.back().end});
        d.m_tracks.insert(d.m_tracks.end(), d.m_pending.begin(), d.m_pending.end());
        if (!d.m_cueMcn.empty())
            d.m_mcn = d.m_cueMcn;
        if (!d.m_pendingText.empty())
            d.m_cdText = d.m_pendingText;
        const bool multiSession = (d.m_page05[3] >> 6) == 3;
        d.m_status = multiSession ? DiscStatus::appendable : DiscStatus::complete;
        d.m_reservedEnd = 0;
        d.saveDisc();
        endSession(d, what);
    }

    static void synchronizeCache(Drive &d, Call &c)
    {
        if (d.m_medium == Medium::dvdprw) {
            if (d.m_recording) {
                Track t; // one data track from LBA 0 to the furthest write
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
            if (d.m_writeNext >= d.m_cue.back().lba)
                return commitSession(d, "SAO");
            abortWrite(d);
            return c.outOfSequence(); // the cue sheet promised more
        }
        // On CD, track-at-once ends each track with a flush.
        if (d.isCd()) {
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
        const int function = c.cdb[2] & 7; // 1 closes the track; 2, 5 and 6 the session, 6 finalizing it
        const bool wasWriting = d.m_writing && !d.m_pending.empty();
        if (wasWriting) {
            d.m_pending.back().end = d.m_writeNext;
            d.m_writing = false;
        }
        if (function == 1) { // close track
            if (wasWriting && d.isCd() && d.m_pending.back().end - d.m_pending.back().start < 300)
                c.badWriteAddress(); // shorter than four seconds
            return;
        }
        if (function == 6) // finalize
            d.m_page05[3] &= 0x3f;
        d.m_writing = true;
        commitSession(d, d.isCd() ? "TAO" : "sequential");
        d.sleepScaled(d.isCd() ? 20 : 10); // writing lead-in and lead-out
    }

    static void reserveTrack(Drive &d, Call &c)
    {
        if (d.isCd() || d.m_status != DiscStatus::blank)
            return c.outOfSequence();
        d.m_reservedEnd = d.nextWritable() + int(be32(c.cdb + 5));
        if (d.m_reservedEnd > d.capacity()) {
            d.m_reservedEnd = 0;
            c.badAddress();
        }
    }

    static void blank(Drive &d, Call &c)
    {
        if (d.m_medium != Medium::cdrw)
            return c.fail(0x05, 0x30, 0x05); // cannot write medium, incompatible format
        const int type = c.cdb[1] & 7; // 0 full, 1 minimal
        // A full blank rewrites the whole disc at 10x; a minimal one only the
        // lead-in and the table of contents.
        d.freshDisc(Medium::cdrw);
        d.appendWriteLog(type == 0 ? "blank full" : "blank minimal");
        busyFor(d, type == 0 ? d.capacity() / (75.0 * 10) : 30.0);
    }

    static void formatUnit(Drive &d, Call &c)
    {
        if (d.m_medium != Medium::dvdprw)
            return c.fail(0x05, 0x30, 0x05);
        d.m_formatted = true;
        d.m_tracks.clear();
        d.m_sessions.clear();
        d.m_status = DiscStatus::complete;
        d.saveDisc();
        d.appendWriteLog("format");
        busyFor(d, 20.0);
    }

    // Blanking and formatting are sent with the immediate bit: the drive
    // answers at once and stays busy, saying how far it got.
    static void busyFor(Drive &d, double realSeconds)
    {
        d.m_busyFrom = std::chrono::steady_clock::now();
        d.m_busyUntil = d.m_busyFrom + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                           std::chrono::duration<double>(realSeconds / d.m_timeFactor));
    }

    static const Entry *find(uint8_t opcode)
    {
        static const Entry table[] = {
            {0x00, true, accept},
            {0x04, true, formatUnit},
            {0x12, false, inquiry},
            {0x1B, false, startStopUnit},
            {0x1E, false, accept},
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
            {0x54, true, accept},
            {0x55, false, modeSelect},
            {0x5A, false, modeSense},
            {0x5B, true, closeTrackSession},
            {0x5C, false, readBufferCapacity},
            {0x5D, true, sendCueSheet},
            {0xA1, true, blank},
            {0xAC, false, getPerformance},
            {0xAD, true, readDiscStructure},
            {0xB6, false, setStreaming},
            {0xBB, false, setCdSpeed},
            {0xBE, true, readCd},
        };
        const Entry *e = std::find_if(std::begin(table), std::end(table), [opcode](const Entry &e) { return e.opcode == opcode; });
        return e == std::end(table) ? nullptr : e;
    }
};

Result Drive::execute(const uint8_t *cdb, unsigned cdbLen, Direction dir, uint8_t *data, unsigned length)
{
    std::lock_guard lock(m_mutex);
    Call c{cdb, data, length, {}, {}, 0};
    const uint8_t op = cdbLen > 0 ? cdb[0] : 0xff;
    const Commands::Entry *entry = Commands::find(op);

    if (m_fault != Fault::none) {
        // A drive spinning up says so to whoever polls it with TEST UNIT READY,
        // and turns away whatever needs the disc meanwhile.
        const bool counts = m_fault == Fault::becomingReady ? op == 0x00
                            : m_fault == Fault::mediumRemoved ? op == 0xBE
                                                              : op == 0x2A;
        if (m_fault == Fault::becomingReady && m_faultAfter == 0 && !counts && entry && entry->needsMedium) {
            c.fail(0x02, 0x04, 0x01);
            return c.r;
        }
        if (counts && m_faultAfter > 0) {
            --m_faultAfter;
        } else if (counts) {
            const Fault fault = m_fault;
            if (m_faultCount > 0 && --m_faultCount == 0)
                m_fault = Fault::none;
            if (fault == Fault::writeError) {
                c.fail(0x03, 0x0C, 0x00);
                Commands::abortWrite(*this);
            } else if (fault == Fault::mediumRemoved) {
                m_trayOpen = m_mediaEvent = true;
                saveDisc();
                c.fail(0x02, 0x3A, 0x02);
            } else {
                c.fail(0x02, 0x04, 0x01); // becoming ready
            }
            return c.r;
        }
    }

    if (!entry) {
        c.fail(0x05, 0x20, 0x00); // invalid command operation code
    } else if (const auto now = std::chrono::steady_clock::now(); m_busyUntil > now && op != 0x12 && op != 0x4A && op != 0x46) {
        c.fail(0x02, 0x04, 0x07); // operation in progress, and how far it got
        const double all = std::chrono::duration<double>(m_busyUntil - m_busyFrom).count();
        const double done = std::chrono::duration<double>(now - m_busyFrom).count();
        c.r.sense.progress = all > 0 ? int(std::clamp(done / all, 0.0, 1.0) * 65535) : 0;
    } else if (m_unitAttention && op != 0x12 && op != 0x4A) {
        m_unitAttention = false;
        c.fail(0x06, 0x28, 0x00); // not ready to ready change, medium may have changed
    } else if (entry->needsMedium && (m_trayOpen || m_medium == Medium::none)) {
        c.fail(0x02, 0x3A, m_trayOpen ? 0x02 : 0x01);
    } else {
        entry->fn(*this, c);
    }
    if (dir == Direction::fromDrive && c.r.status == 0 && !c.reply.empty()) {
        const unsigned n = std::min<unsigned>({unsigned(c.reply.size()), c.allocation, length});
        std::memcpy(data, c.reply.data(), n);
        c.r.transferred = n;
    }
    return c.r;
}

} // namespace mmc
