#include "ftp_service.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace vcq::sim {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

constexpr milliseconds kSlice{50};
constexpr milliseconds kSendTimeout{2000};
constexpr size_t kMaxLine = 1024;

bool ParseByte(std::string_view text, unsigned& value, unsigned limit) {
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && ec == std::errc() && ptr == text.data() + text.size() && value <= limit;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (;;) {
        size_t at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos)
            return parts;
        text.remove_prefix(at + 1);
    }
}

bool IsLoopback(uint32_t address) {
    return (address >> 24) == 127;
}

// One control connection, on its own thread.
class Session {
  public:
    Session(CameraState& camera, const FtpServiceOptions& options,
            const std::atomic<bool>& stopping, net::TcpSocket connection, uint32_t localAddress)
        : camera_(camera),
          options_(options),
          stopping_(stopping),
          control_(std::move(connection)),
          localAddress_(localAddress) {}

    void Run() {
        if (!Reply("220 VCQ camera FTP server ready."))
            return;
        while (auto line = ReadLine()) {
            if (!Handle(*line))
                break;
        }
        control_.ShutdownSend();
    }

  private:
    bool Reply(std::string_view line) {
        return control_.SendAll(std::string(line) + "\r\n", kSendTimeout);
    }

    // Nullopt when the client closes, stays idle too long, the camera goes
    // down or the service stops.
    std::optional<std::string> ReadLine() {
        auto deadline = Clock::now() + std::min(options_.idleTimeout, camera_.Config().ftpIdle);
        char chunk[512];
        for (;;) {
            size_t end = buffer_.find('\n');
            if (end != std::string::npos) {
                std::string line = buffer_.substr(0, end);
                buffer_.erase(0, end + 1);
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                return line;
            }
            if (buffer_.size() > kMaxLine) {
                Reply("500 Line too long.");
                return std::nullopt;
            }
            if (stopping_)
                return std::nullopt;
            if (camera_.Rebooting()) {
                Reply("421 Service not available, closing control connection.");
                return std::nullopt;
            }
            if (Clock::now() >= deadline) {
                Reply("421 Timeout.");
                return std::nullopt;
            }
            auto got = control_.Receive(chunk, sizeof chunk, kSlice);
            if (got.status == net::IoStatus::TimedOut)
                continue;
            if (!got.ok())
                return std::nullopt;
            buffer_.append(chunk, got.bytes);
        }
    }

    // False ends the session.
    bool Handle(const std::string& line) {
        size_t space = line.find(' ');
        std::string verb = line.substr(0, space);
        std::string argument = space == std::string::npos ? "" : line.substr(space + 1);
        for (char& c : verb)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (verb.empty() || verb.size() > 4 ||
            !std::all_of(verb.begin(), verb.end(), [](char c) { return c >= 'A' && c <= 'Z'; }))
            return Reply("500 Syntax error, command unrecognized.");

        if (verb == "QUIT") {
            Reply("221 Goodbye.");
            return false;
        }
        if (verb == "USER") {
            user_ = argument;
            loggedIn_ = false;
            return Reply("331 Password required for " + argument + ".");
        }
        if (verb == "PASS")
            return Login(argument);
        if (verb == "SYST")
            return Reply("215 UNIX Type: L8");
        if (verb == "FEAT")
            return Reply("211-Features:\r\n SIZE\r\n EPRT\r\n211 End");
        if (verb == "NOOP")
            return Reply("200 NOOP command successful.");

        if (!loggedIn_)
            return Reply("530 Please login with USER and PASS.");
        if (verb == "PWD" || verb == "XPWD")
            return Reply("257 \"" + FtpPathText(current_) + "\" is current directory.");
        if (verb == "CWD" || verb == "CDUP")
            return ChangeFolder(verb == "CDUP" ? ".." : argument);
        if (verb == "MKD" || verb == "XMKD")
            return MakeFolder(argument);
        if (verb == "TYPE")
            return SetType(argument);
        if (verb == "PORT" || verb == "EPRT")
            return SetDataPort(verb, argument);
        if (verb == "PASV" || verb == "EPSV")
            return Reply("502 Passive mode not supported; use PORT.");
        if (verb == "STOR")
            return Store(argument);
        if (verb == "SIZE")
            return Size(argument);
        return Reply("502 Command not implemented.");
    }

    bool Login(const std::string& password) {
        if (user_.empty())
            return Reply("503 Login with USER first.");
        CameraConfig config = camera_.Config();
        if (config.ftpRefuseLogin || user_ != config.ftpUser.name ||
            password != config.ftpUser.password) {
            user_.clear();
            return Reply("530 Login incorrect.");
        }
        loggedIn_ = true;
        return Reply("230 User " + user_ + " logged in.");
    }

    bool ChangeFolder(const std::string& argument) {
        auto path = ResolveFtpPath(current_, argument);
        if (!path || !camera_.Ftp().FolderExists(FtpPathText(*path)))
            return Reply("550 " + argument + ": No such directory.");
        current_ = *path;
        camera_.UpdateFtp([](FtpRecord& ftp) { ++ftp.folderChanges; });
        return Reply("250 CWD command successful.");
    }

    bool MakeFolder(const std::string& argument) {
        auto path = ResolveFtpPath(current_, argument);
        if (!path || path->empty())
            return Reply("550 " + argument + ": Cannot create directory.");
        if (camera_.Config().ftpRefuseMkd)
            return Reply("550 " + argument + ": Permission denied.");
        std::string text = FtpPathText(*path);
        std::string parent = FtpPathText({path->begin(), path->end() - 1});
        bool created = false;
        camera_.UpdateFtp([&](FtpRecord& ftp) {
            if (!ftp.FolderExists(parent) || ftp.FolderExists(text) || ftp.files.count(text))
                return;
            ftp.folders.push_back(text);
            ftp.createdFolders.push_back(text);
            created = true;
        });
        if (!created)
            return Reply("550 " + argument + ": Cannot create directory (exists, or no parent).");
        return Reply("257 \"" + text + "\" directory created.");
    }

    bool SetType(const std::string& argument) {
        std::string type = argument.substr(0, argument.find(' '));
        if (type == "I" || type == "i" || type == "L") {
            binary_ = true;
            return Reply("200 Type set to I.");
        }
        if (type == "A" || type == "a") {
            binary_ = false;
            return Reply("200 Type set to A.");
        }
        return Reply("504 Type not supported.");
    }

    bool SetDataPort(const std::string& verb, const std::string& argument) {
        auto endpoint = verb == "PORT" ? ParsePortArgument(argument) : ParseEprtArgument(argument);
        if (!endpoint) {
            if (verb == "EPRT" && argument.size() > 2 && argument[1] != '1')
                return Reply("522 Network protocol not supported, use (1).");
            return Reply("501 Syntax error in parameters or arguments.");
        }
        // The camera never connects anywhere but the loopback network.
        if (!IsLoopback(endpoint->address) || endpoint->port == 0)
            return Reply("501 Data connections go only to 127.0.0.0/8.");
        data_ = endpoint;
        return Reply("200 " + verb + " command successful.");
    }

    bool Size(const std::string& argument) {
        auto path = ResolveFtpPath(current_, argument);
        FtpRecord ftp = camera_.Ftp();
        auto file = path ? ftp.files.find(FtpPathText(*path)) : ftp.files.end();
        if (file == ftp.files.end())
            return Reply("550 " + argument + ": No such file.");
        return Reply("213 " + std::to_string(file->second.size()));
    }

    bool Store(const std::string& argument) {
        CameraConfig config = camera_.Config();
        int number = 0;
        camera_.UpdateFtp([&number](FtpRecord& ftp) { number = ++ftp.stores; });
        auto endpoint = data_;
        data_.reset();  // one transfer per PORT
        if (!endpoint)
            return Reply("425 Use PORT or EPRT first.");
        auto path = ResolveFtpPath(current_, argument);
        std::string text = path && !path->empty() ? FtpPathText(*path) : "";
        FtpRecord ftp = camera_.Ftp();
        if (text.empty() || !ftp.FolderExists(FtpPathText({path->begin(), path->end() - 1})) ||
            ftp.FolderExists(text))
            return Reply("553 " + argument + ": Cannot store there.");
        bool fail = config.ftpFailStor == -1 || config.ftpFailStor == number;
        if (fail && config.ftpFailStatus == 550)
            return Reply("550 " + argument + ": Permission denied.");

        if (!Reply(std::string("150 Opening ") + (binary_ ? "BINARY" : "ASCII") +
                   " mode data connection for " + argument + "."))
            return false;
        net::TcpSocket data;
        if (!data.Open() || !data.Bind({localAddress_, 0}) ||
            !data.Connect(*endpoint, options_.connectTimeout))
            return Reply("425 Cannot open data connection.");
        if (fail && config.ftpFailStatus == kDropStor) {
            // The camera goes away mid-upload: the first bytes arrive, then
            // both connections break without a word.
            char first[512];
            data.Receive(first, sizeof first, options_.dataTimeout);
            data.Abort();
            control_.Abort();
            return false;
        }
        // Counted while its bytes arrive, on every camera of the gauge: no
        // longer, since the client may start the next upload once it reads
        // the 226 below.
        struct Counted {
            StoreGauge* gauge;
            explicit Counted(StoreGauge* g) : gauge(g) {
                if (!gauge)
                    return;
                const int now = ++gauge->now;
                for (int most = gauge->most;
                     now > most && !gauge->most.compare_exchange_weak(most, now);) {
                }
            }
            ~Counted() {
                if (gauge)
                    --gauge->now;
            }
        };
        std::string bytes;
        bool received = false;
        {
            const Counted counted(options_.stores.get());
            received = Receive(data, config.ftpRateLimit, bytes);
        }
        if (!received)
            return Reply("426 Connection closed; transfer aborted.");
        data.Close();
        if (fail)
            return Reply(std::to_string(config.ftpFailStatus) + " Transfer failed.");
        if (!binary_) {
            std::string text_bytes;
            for (size_t i = 0; i < bytes.size(); ++i)
                if (!(bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n'))
                    text_bytes += bytes[i];
            bytes.swap(text_bytes);
        }
        camera_.UpdateFtp([&](FtpRecord& record) {
            if (!record.files.count(text))
                record.storedOrder.push_back(text);
            record.files[text] = std::move(bytes);
        });
        return Reply("226 Transfer complete.");
    }

    // Reads the data connection to its end, at most `rate` bytes a second.
    bool Receive(net::TcpSocket& data, uint64_t rate, std::string& bytes) {
        auto start = Clock::now();
        auto deadline = start + options_.dataTimeout;
        size_t chunkSize = rate ? std::clamp<size_t>(rate / 20, 1, 4096) : 16384;
        std::vector<char> chunk(chunkSize);
        while (!stopping_) {
            auto got = data.Receive(chunk.data(), chunk.size(), kSlice);
            if (got.status == net::IoStatus::Closed)
                return true;
            if (got.status == net::IoStatus::Failed)
                return false;
            auto now = Clock::now();
            if (got.status == net::IoStatus::TimedOut) {
                if (now >= deadline)
                    return false;
                continue;
            }
            bytes.append(chunk.data(), got.bytes);
            if (bytes.size() > options_.maxFileBytes)
                return false;
            deadline = now + options_.dataTimeout;
            if (rate) {
                auto due = start + std::chrono::microseconds(bytes.size() * 1000000 / rate);
                while (!stopping_ && Clock::now() < due)
                    std::this_thread::sleep_for(
                        std::min<Clock::duration>(kSlice, due - Clock::now()));
                deadline = Clock::now() + options_.dataTimeout;
            }
        }
        return false;
    }

    CameraState& camera_;
    const FtpServiceOptions& options_;
    const std::atomic<bool>& stopping_;
    net::TcpSocket control_;
    uint32_t localAddress_;
    std::string buffer_;
    std::string user_;
    bool loggedIn_ = false;
    bool binary_ = false;  // FTP starts in ASCII
    std::vector<std::string> current_;
    std::optional<net::Endpoint> data_;
};

}  // namespace

std::optional<std::vector<std::string>> ResolveFtpPath(const std::vector<std::string>& current,
                                                       std::string_view argument) {
    std::string path(argument);
    std::replace(path.begin(), path.end(), '/', '\\');
    std::vector<std::string> components = current;
    std::string_view rest = path;
    if (rest.size() >= 2 && rest[1] == ':') {
        if (rest[0] != 'C' && rest[0] != 'c')
            return std::nullopt;
        rest.remove_prefix(2);
        components.clear();  // "C:" alone is the drive's root too
    } else if (rest.starts_with('\\')) {
        components.clear();
    }
    for (std::string_view name : Split(rest, '\\')) {
        if (name.empty() || name == ".")
            continue;
        if (name == "..") {
            if (!components.empty())
                components.pop_back();
            continue;
        }
        for (char c : name)
            if (static_cast<unsigned char>(c) < 0x20 ||
                std::string_view(":*?\"<>|").find(c) != std::string_view::npos)
                return std::nullopt;
        components.emplace_back(name);
    }
    return components;
}

std::string FtpPathText(const std::vector<std::string>& components) {
    std::string text = "C:";
    for (const auto& name : components)
        text += "\\" + name;
    return components.empty() ? "C:\\" : text;
}

std::optional<net::Endpoint> ParsePortArgument(std::string_view argument) {
    auto parts = Split(argument, ',');
    if (parts.size() != 6)
        return std::nullopt;
    unsigned values[6];
    for (size_t i = 0; i < 6; ++i)
        if (!ParseByte(parts[i], values[i], 255))
            return std::nullopt;
    uint32_t address = (values[0] << 24) | (values[1] << 16) | (values[2] << 8) | values[3];
    return net::Endpoint{address, static_cast<uint16_t>((values[4] << 8) | values[5])};
}

std::optional<net::Endpoint> ParseEprtArgument(std::string_view argument) {
    if (argument.size() < 2)
        return std::nullopt;
    auto parts = Split(argument, argument[0]);
    unsigned port = 0;
    if (parts.size() != 5 || !parts[0].empty() || !parts[4].empty() || parts[1] != "1" ||
        !ParseByte(parts[3], port, 65535))
        return std::nullopt;
    auto address = net::ParseIpv4(parts[2]);
    if (!address)
        return std::nullopt;
    return net::Endpoint{*address, static_cast<uint16_t>(port)};
}

FtpService::FtpService(CameraState& camera, FtpServiceOptions options)
    : camera_(camera),
      options_(options),
      server_(16, options.maxConnections,
              {[this] { return camera_.FtpReachable(); },
               [this](net::TcpSocket&) {
                   camera_.UpdateFtp([](FtpRecord& ftp) { ++ftp.connections; });
                   return true;
               },
               [](net::TcpSocket& connection) {
                   connection.SendAll("421 Too many connections.\r\n", kSendTimeout);
               },
               [this](net::TcpSocket connection) {
                   Session(camera_, options_, server_.stopping(), std::move(connection),
                           server_.endpoint().address)
                       .Run();
               }}) {}

FtpService::~FtpService() {
    Stop();
}

bool FtpService::Start(std::string& error) {
    CameraConfig config = camera_.Config();
    auto address = net::ParseIpv4(config.address);
    if (!address) {
        error = "not a dotted IPv4 address: " + config.address;
        return false;
    }
    // Held from the start, so that an ephemeral port is known while off.
    return server_.Start({*address, config.ftpPort}, error);
}

void FtpService::Stop() {
    server_.Stop();
}

}  // namespace vcq::sim
