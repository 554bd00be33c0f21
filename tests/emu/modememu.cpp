// tvr_modememu: a Hayes modem on a pseudo-terminal, for the Wine integration suites.
//
//   tvr_modememu [--delay MS] [--interval MS] [--length N] [--stall MS] [--max-seconds S]
//                PROFILE LINK LOG
//
// It opens a pty, points LINK (e.g. $TVR_RIG_DIR/ports/com3) at the slave, and plays
// PROFILE on the master side:
//
//   crlf     each command line "AT..." is answered "\r\nOK\r\n" (other lines: ERROR)
//   bareok   each command line is answered "OK", with nothing around it
//   error    each command line is answered "\r\nERROR\r\n"
//   echo     every byte is echoed at once (echo stays on whatever E0 says), and each
//            command line is then answered "\r\nOK\r\n"
//   silent   never answers
//   chatter  sends a byte every --interval ms (default 5), without end
//   onebyte  each command line, the empty one included, is answered by one byte "!"
//   nul      each command line is answered "\0\r\nOK\r\n" (a reply starting with zero)
//   long     each command line is answered by --length bytes of text (default 200)
//   nulonly  each command line is answered by four NUL bytes and nothing else
//   busy     each command line is answered "\r\nOK\r\n"; from the first answer on, the
//            line is kept busy with a byte every --interval ms, without end
//   stall    takes no byte for --stall ms (default 3000) from the first open, by
//            software flow control: the line starts with XON/XOFF output control on
//            (IXON, which the caller reads back into its DCB and keeps) and the
//            emulator has sent XOFF, so the caller's writes cannot go on; then it sends
//            XON, takes everything at once and answers each command line like crlf
//
// A command line ends at "\r". Replies leave --delay ms (default 0) after the "\r".
// It never blocks forever: it stops on SIGTERM, SIGINT or SIGHUP, and after
// --max-seconds (default 900) in any case, and then removes LINK if it still points
// at its pty.
//
// LOG gets one event per line, "EVENT t=MS key=value...", t in milliseconds since
// start on the monotonic clock:
//
//   start t=0.000 profile=crlf slave=/dev/pts/4 link=... speed=1200 data=8 parity=none stop=2
//   open t=...                        someone opened the slave (inotify)
//   close t=...                       someone closed it
//   settings t=... speed=2400 data=8 parity=none stop=1    the line settings changed
//   rx t=... byte=0x41                each byte received
//   line t=... text="AT\r" speed=2400 data=8 parity=none stop=1   a command line, with
//                                     the settings in force when its "\r" arrived
//   tx t=... text="\r\nOK\r\n"        a reply written (chatter bytes are only counted)
//   purge t=... flush=input|output|both   the caller flushed its side's queues (the
//                                     pty reports it ahead of data still unread)
//   stop t=... rx=N tx=N dropped=N    at exit; dropped counts bytes the pty refused
//
// The emulator keeps its own fd to the slave open, so the pty survives Wine's close,
// and reads the settings back through it. It sets the line to 1200 bit/s and two stop
// bits at start, so that another speed or one stop bit seen later was set by the caller.
// A pty forces 8 data bits and no parity: only speed and stop bits are informative.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

enum Profile { kCrlf, kBareOk, kError, kEcho, kSilent, kChatter, kOneByte, kNul, kLong, kNulOnly, kBusy, kStall };

struct ProfileName {
    const char *pszName;
    Profile profile;
};

const ProfileName kProfiles[] = {
    {"crlf", kCrlf},       {"bareok", kBareOk},   {"error", kError},
    {"echo", kEcho},       {"silent", kSilent},   {"chatter", kChatter},
    {"onebyte", kOneByte}, {"nul", kNul},         {"long", kLong},
    {"nulonly", kNulOnly}, {"busy", kBusy},       {"stall", kStall},
};

const int kLongReplyBytes = 200;     // more than the scan's 128-byte reply buffer
const int kNulOnlyBytes = 4;         // a reply of zeros: the scan's judgment sees nothing
const int kDefaultStallMs = 3000;    // longer than any one write time-out of the scan
const int kSettingsPollMs = 10;      // how often the line settings are read back
const speed_t kInitialSpeed = B1200; // a speed the suites never ask for, so a change shows

volatile sig_atomic_t g_bStop = 0;

void OnSignal(int) { g_bStop = 1; }

double NowMs()
{
    static timespec start;
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    if (start.tv_sec == 0 && start.tv_nsec == 0)
        start = now;
    return (now.tv_sec - start.tv_sec) * 1000.0 + (now.tv_nsec - start.tv_nsec) / 1e6;
}

// The bytes as a C-like literal: printable ASCII as is, the rest escaped.
std::string Escape(const std::string &bytes)
{
    std::string out;
    char hex[8];
    for (unsigned char c : bytes) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\\' || c == '"')
            out += std::string("\\") + static_cast<char>(c);
        else if (c >= 0x20 && c < 0x7f)
            out += static_cast<char>(c);
        else {
            snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        }
    }
    return out;
}

long SpeedOf(speed_t s)
{
    static const struct { speed_t s; long n; } kSpeeds[] = {
        {B0, 0},         {B50, 50},         {B75, 75},         {B110, 110},       {B134, 134},
        {B150, 150},     {B200, 200},       {B300, 300},       {B600, 600},       {B1200, 1200},
        {B1800, 1800},   {B2400, 2400},     {B4800, 4800},     {B9600, 9600},     {B19200, 19200},
        {B38400, 38400}, {B57600, 57600},   {B115200, 115200}, {B230400, 230400}, {B460800, 460800},
    };
    for (const auto &e : kSpeeds)
        if (e.s == s)
            return e.n;
    return -1;
}

// "speed=2400 data=8 parity=none stop=1", or "settings=unreadable".
std::string Settings(int fdSlave)
{
    termios t;
    if (tcgetattr(fdSlave, &t) != 0)
        return "settings=unreadable";
    int nData = (t.c_cflag & CSIZE) == CS5 ? 5 : (t.c_cflag & CSIZE) == CS6 ? 6 : (t.c_cflag & CSIZE) == CS7 ? 7 : 8;
    const char *pszParity = !(t.c_cflag & PARENB) ? "none" : (t.c_cflag & PARODD) ? "odd" : "even";
    char buf[96];
    long nSpeed = SpeedOf(cfgetospeed(&t));
    if (nSpeed >= 0)
        snprintf(buf, sizeof buf, "speed=%ld data=%d parity=%s stop=%d", nSpeed, nData, pszParity,
                 (t.c_cflag & CSTOPB) ? 2 : 1);
    else
        snprintf(buf, sizeof buf, "speed=other data=%d parity=%s stop=%d", nData, pszParity,
                 (t.c_cflag & CSTOPB) ? 2 : 1);
    return buf;
}

struct Pending {
    double dueMs;
    std::string bytes;
};

struct Emulator {
    Profile profile = kCrlf;
    int nDelayMs = 0;
    int nIntervalMs = 5;
    int nLength = kLongReplyBytes;
    int nStallMs = kDefaultStallMs;
    bool bBusy = false;          // busy: the answer has begun, the line stays busy
    double stallEndMs = -1;      // stall: when XON goes out (-1: not yet opened)
    bool bStallOver = false;     // stall: XON has gone out
    FILE *pLog = nullptr;
    int fdMaster = -1;
    int fdSlave = -1;
    std::string line;
    std::vector<Pending> pending;
    long nRx = 0, nTx = 0, nDropped = 0;
    double nextChatterMs = 0;

    void Log(const char *pszEvent, const std::string &rest)
    {
        fprintf(pLog, "%s t=%.3f%s%s\n", pszEvent, NowMs(), rest.empty() ? "" : " ", rest.c_str());
    }

    // Writes what the pty takes now; the rest is counted as dropped (nobody reads).
    void Send(const std::string &bytes, bool bLog)
    {
        ssize_t n = write(fdMaster, bytes.data(), bytes.size());
        size_t nSent = n > 0 ? static_cast<size_t>(n) : 0;
        nTx += nSent;
        nDropped += bytes.size() - nSent;
        if (bLog)
            Log("tx", "text=\"" + Escape(bytes.substr(0, nSent)) + "\"");
    }

    std::string ReplyTo(const std::string &cmd)
    {
        bool bAt = cmd.size() >= 2 && (cmd[0] == 'A' || cmd[0] == 'a') && (cmd[1] == 'T' || cmd[1] == 't');
        switch (profile) {
        case kCrlf:
            return cmd.empty() ? "" : bAt ? "\r\nOK\r\n" : "\r\nERROR\r\n";
        case kBareOk:
            return cmd.empty() ? "" : "OK";
        case kError:
            return cmd.empty() ? "" : "\r\nERROR\r\n";
        case kEcho:
            return cmd.empty() ? "" : "\r\nOK\r\n";
        case kOneByte:
            return "!";
        case kNul:
            return cmd.empty() ? "" : std::string("\0\r\nOK\r\n", 7);
        case kLong: {
            if (cmd.empty())
                return "";
            std::string s;
            while (static_cast<int>(s.size()) < nLength)
                s += "0123456789";
            return s.substr(0, nLength);
        }
        case kNulOnly:
            return cmd.empty() ? "" : std::string(kNulOnlyBytes, '\0');
        case kBusy:
        case kStall:
            return cmd.empty() ? "" : bAt ? "\r\nOK\r\n" : "\r\nERROR\r\n";
        case kSilent:
        case kChatter:
            break;
        }
        return "";
    }

    void OnByte(unsigned char c)
    {
        char buf[24];
        snprintf(buf, sizeof buf, "byte=0x%02x", c);
        Log("rx", buf);
        ++nRx;
        if (profile == kEcho)
            Send(std::string(1, static_cast<char>(c)), true);
        line += static_cast<char>(c);
        if (c != '\r')
            return;
        Log("line", "text=\"" + Escape(line) + "\" " + Settings(fdSlave));
        std::string cmd = line.substr(0, line.size() - 1);
        // A line feed left over from the caller's previous line is not part of the command.
        while (!cmd.empty() && cmd[0] == '\n')
            cmd.erase(0, 1);
        line.clear();
        std::string reply = ReplyTo(cmd);
        if (!reply.empty())
            pending.push_back({NowMs() + nDelayMs, reply});
        if (profile == kBusy && !reply.empty() && !bBusy) {
            bBusy = true;
            nextChatterMs = NowMs() + nDelayMs + nIntervalMs;
        }
    }

    void SendDue()
    {
        double now = NowMs();
        for (size_t i = 0; i < pending.size();) {
            if (pending[i].dueMs <= now) {
                Send(pending[i].bytes, true);
                pending.erase(pending.begin() + i);
            } else {
                ++i;
            }
        }
        if ((profile == kChatter || bBusy) && now >= nextChatterMs) {
            Send("~", false);
            nextChatterMs = now + nIntervalMs;
        }
    }

    // The stall is timed from the caller's first open; XOFF went out at start already.
    void StartStall()
    {
        stallEndMs = NowMs() + nStallMs;
        char buf[32];
        snprintf(buf, sizeof buf, "until=%.3f", stallEndMs);
        Log("stall", buf);
    }

    void EndStallWhenDue()
    {
        if (profile != kStall || bStallOver || stallEndMs < 0 || NowMs() < stallEndMs)
            return;
        static const char kXon = 0x11;
        bStallOver = write(fdMaster, &kXon, 1) == 1;
        Log("xon", "");
    }

    int NextTimeoutMs()
    {
        double now = NowMs();
        double next = now + kSettingsPollMs;
        for (const Pending &p : pending)
            if (p.dueMs < next)
                next = p.dueMs;
        if ((profile == kChatter || bBusy) && nextChatterMs < next)
            next = nextChatterMs;
        if (profile == kStall && !bStallOver && stallEndMs >= 0 && stallEndMs < next)
            next = stallEndMs;
        return next <= now ? 0 : static_cast<int>(next - now) + 1;
    }
};

int Usage()
{
    fprintf(stderr, "usage: tvr_modememu [--delay MS] [--interval MS] [--length N] [--stall MS] [--max-seconds S]"
                    " PROFILE LINK LOG\n"
                    "profiles: crlf bareok error echo silent chatter onebyte nul long nulonly busy stall\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    Emulator emu;
    int nMaxSeconds = 900;
    int i = 1;
    for (; i + 1 < argc && strncmp(argv[i], "--", 2) == 0; i += 2) {
        int n = atoi(argv[i + 1]);
        if (strcmp(argv[i], "--delay") == 0)
            emu.nDelayMs = n;
        else if (strcmp(argv[i], "--interval") == 0 && n > 0)
            emu.nIntervalMs = n;
        else if (strcmp(argv[i], "--length") == 0 && n > 0)
            emu.nLength = n;
        else if (strcmp(argv[i], "--stall") == 0 && n >= 0)
            emu.nStallMs = n;
        else if (strcmp(argv[i], "--max-seconds") == 0 && n > 0)
            nMaxSeconds = n;
        else
            return Usage();
    }
    if (argc - i != 3)
        return Usage();
    const char *pszProfile = argv[i], *pszLink = argv[i + 1], *pszLogPath = argv[i + 2];
    bool bKnown = false;
    for (const ProfileName &p : kProfiles)
        if (strcmp(p.pszName, pszProfile) == 0) {
            emu.profile = p.profile;
            bKnown = true;
        }
    if (!bKnown)
        return Usage();

    NowMs();
    emu.pLog = fopen(pszLogPath, "w");
    if (!emu.pLog) {
        perror(pszLogPath);
        return 1;
    }
    setvbuf(emu.pLog, nullptr, _IOLBF, 0);

    // Signals are blocked except while waiting in ppoll, so none is lost between checks.
    sigset_t block, waitMask;
    sigemptyset(&block);
    sigaddset(&block, SIGTERM);
    sigaddset(&block, SIGINT);
    sigaddset(&block, SIGHUP);
    sigprocmask(SIG_BLOCK, &block, &waitMask);
    sigdelset(&waitMask, SIGTERM);
    sigdelset(&waitMask, SIGINT);
    sigdelset(&waitMask, SIGHUP);
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = OnSignal;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);

    char szSlave[PATH_MAX];
    if (openpty(&emu.fdMaster, &emu.fdSlave, szSlave, nullptr, nullptr) != 0) {
        perror("openpty");
        return 1;
    }
    fcntl(emu.fdMaster, F_SETFL, fcntl(emu.fdMaster, F_GETFL) | O_NONBLOCK);
    int nPacket = 1;
    ioctl(emu.fdMaster, TIOCPKT, &nPacket);
    termios t;
    tcgetattr(emu.fdSlave, &t);
    cfmakeraw(&t);
    cfsetispeed(&t, kInitialSpeed);
    cfsetospeed(&t, kInitialSpeed);
    t.c_cflag |= CSTOPB;
    // The stall: output control by XON/XOFF on the line, and XOFF sent before anyone
    // opens it, so that the caller's first write already waits.
    if (emu.profile == kStall) {
        t.c_iflag |= IXON;
        t.c_cc[VSTOP] = 0x13;
        t.c_cc[VSTART] = 0x11;
    }
    tcsetattr(emu.fdSlave, TCSANOW, &t);
    if (emu.profile == kStall) {
        static const char kXoff = 0x13;
        if (write(emu.fdMaster, &kXoff, 1) != 1) {
            perror("xoff");
            return 1;
        }
    }

    int fdNotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fdNotify < 0 || inotify_add_watch(fdNotify, szSlave, IN_OPEN | IN_CLOSE) < 0) {
        perror("inotify");
        return 1;
    }

    // The link appears atomically, so a reader never sees it half made.
    std::string tmpLink = std::string(pszLink) + ".emu-tmp";
    unlink(tmpLink.c_str());
    if (symlink(szSlave, tmpLink.c_str()) != 0 || rename(tmpLink.c_str(), pszLink) != 0) {
        perror(pszLink);
        return 1;
    }
    std::string settings = Settings(emu.fdSlave);
    emu.Log("start", std::string("profile=") + pszProfile + " slave=" + szSlave + " link=" + pszLink + " " +
                         settings);

    double deadlineMs = nMaxSeconds * 1000.0;
    while (!g_bStop && NowMs() < deadlineMs) {
        pollfd fds[2] = {{emu.fdMaster, POLLIN, 0}, {fdNotify, POLLIN, 0}};
        int nWait = emu.NextTimeoutMs();
        timespec ts = {nWait / 1000, (nWait % 1000) * 1000000L};
        int n = ppoll(fds, 2, &ts, &waitMask);
        if (n < 0 && errno != EINTR)
            break;
        if (n > 0 && (fds[1].revents & POLLIN)) {
            alignas(inotify_event) char buf[4096];
            ssize_t len;
            while ((len = read(fdNotify, buf, sizeof buf)) > 0) {
                for (char *p = buf; p < buf + len;) {
                    inotify_event *ev = reinterpret_cast<inotify_event *>(p);
                    if (ev->mask & IN_OPEN) {
                        emu.Log("open", "");
                        if (emu.profile == kStall && emu.stallEndMs < 0)
                            emu.StartStall();
                    }
                    if (ev->mask & IN_CLOSE)
                        emu.Log("close", "");
                    p += sizeof(inotify_event) + ev->len;
                }
            }
        }
        if (n > 0 && (fds[0].revents & POLLIN)) {
            // Packet mode: each read starts with a status byte, 0 for data, else the
            // flushes the other side asked for (PurgeComm ends up as tcflush there).
            unsigned char buf[512];
            ssize_t len;
            while ((len = read(emu.fdMaster, buf, sizeof buf)) > 0) {
                if (buf[0] == TIOCPKT_DATA) {
                    for (ssize_t k = 1; k < len; ++k)
                        emu.OnByte(buf[k]);
                } else if (buf[0] & (TIOCPKT_FLUSHREAD | TIOCPKT_FLUSHWRITE)) {
                    emu.Log("purge", (buf[0] & TIOCPKT_FLUSHREAD) && (buf[0] & TIOCPKT_FLUSHWRITE) ? "flush=both"
                                     : (buf[0] & TIOCPKT_FLUSHREAD)                             ? "flush=input"
                                                                                                : "flush=output");
                }
            }
        }
        std::string now = Settings(emu.fdSlave);
        if (now != settings) {
            emu.Log("settings", now);
            settings = now;
        }
        emu.EndStallWhenDue();
        emu.SendDue();
    }

    char szTarget[PATH_MAX];
    ssize_t nTarget = readlink(pszLink, szTarget, sizeof szTarget - 1);
    if (nTarget > 0) {
        szTarget[nTarget] = 0;
        if (strcmp(szTarget, szSlave) == 0)
            unlink(pszLink);
    }
    char buf[96];
    snprintf(buf, sizeof buf, "rx=%ld tx=%ld dropped=%ld", emu.nRx, emu.nTx, emu.nDropped);
    emu.Log("stop", buf);
    fclose(emu.pLog);
    close(fdNotify);
    close(emu.fdSlave);
    close(emu.fdMaster);
    return 0;
}
