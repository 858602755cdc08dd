#include "KeydCommandLine.h"

#include <cstdint>
#include <cstdlib>
#include <map>

namespace {

bool parse_port(const std::string& text, int& port)
{
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    port = std::stoi(text);
    return port <= 65535;
}

bool parse_count(const std::string& text, std::int64_t& count)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    count = std::stoll(text);
    return count > 0;
}

KeydInvocation invalid(const std::string& error)
{
    KeydInvocation invocation;
    invocation.mode = KeydInvocation::Mode::invalid;
    invocation.error = error;
    return invocation;
}

} // namespace

KeydInvocation KeydCommandLine::parse(int argc, const char* const* argv)
{
    KeydInvocation invocation;
    invocation.data_dir = default_data_dir();
    const std::map<std::string, std::string*> options = {
        {"--address", &invocation.server.address},
        {"--data-dir", &invocation.data_dir},
        {"--cert", &invocation.server.certificate_path},
        {"--key", &invocation.server.private_key_path},
        {"--base", &invocation.server.base_path},
        {"--curator-token-file", &invocation.curator_token_file},
        {"--database", &invocation.database},
        {"--session-secret-file", &invocation.session_secret_file},
    };
    const std::map<std::string, KeydInvocation::Mode> commands = {
        {"import", KeydInvocation::Mode::import},
        {"export", KeydInvocation::Mode::export_csv},
        {"waiting", KeydInvocation::Mode::waiting},
        {"promote", KeydInvocation::Mode::promote},
    };
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (argument == "-h" || argument == "--help") {
            invocation.mode = KeydInvocation::Mode::help;
            return invocation;
        }
        if (argument.rfind("--", 0) != 0) {
            const auto command = commands.find(argument);
            if (command == commands.end() || invocation.mode != KeydInvocation::Mode::serve) {
                return invalid("unexpected argument: " + argument);
            }
            invocation.mode = command->second;
            if (invocation.mode == KeydInvocation::Mode::import ||
                invocation.mode == KeydInvocation::Mode::export_csv) {
                if (i + 1 == argc) {
                    return invalid(argument + " needs a CSV file");
                }
                invocation.csv_path = argv[++i];
            }
            continue;
        }
        std::string value;
        const std::size_t equals = argument.find('=');
        if (equals != std::string::npos) {
            value = argument.substr(equals + 1);
            argument.erase(equals);
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            return invalid(argument + " needs a value");
        }
        if (argument == "--port") {
            if (!parse_port(value, invocation.server.port)) {
                return invalid("not a port number: " + value);
            }
        } else if (argument == "--trust-proxy") {
            invocation.server.trusted_proxies.push_back(value);
        } else if (argument == "--max-connections" || argument == "--max-connections-per-address") {
            std::int64_t count = 0;
            if (!parse_count(value, count)) {
                return invalid(argument + " needs a positive number, not " + value);
            }
            (argument == "--max-connections" ? invocation.server.max_connections
                                             : invocation.server.max_connections_per_address) =
                static_cast<std::size_t>(count);
        } else if (argument == "--promote-after") {
            if (!parse_count(value, invocation.server.promote_after)) {
                return invalid("--promote-after needs a positive number, not " + value);
            }
        } else if (const auto option = options.find(argument); option != options.end()) {
            *option->second = value;
        } else {
            return invalid("unknown option: " + argument);
        }
    }
    return invocation;
}

std::string KeydCommandLine::usage()
{
    return "usage: kestrune-keyd [options]              serve key lookups over HTTPS\n"
           "       kestrune-keyd import FILE.csv [options]  add songs to the catalogue\n"
           "       kestrune-keyd export FILE.csv [options]  write the catalogue as CSV\n"
           "       kestrune-keyd waiting [options]          list the songs users asked for\n"
           "       kestrune-keyd promote [options]          add the proposed songs enough sessions agree on\n"
           "options:\n"
           "  --address ADDR   address to listen on (127.0.0.1)\n"
           "  --port N         port to listen on, 0 for any free one (8443)\n"
           "  --base PATH      API root before /v1/emusic and /v1/user (/api)\n"
           "  --data-dir DIR   catalogue and self-signed certificate (" +
           default_data_dir() +
           ")\n"
           "  --cert FILE      PEM certificate; needs --key\n"
           "  --key FILE       PEM private key of the certificate\n"
           "  --trust-proxy CIDR         a proxy of ours whose X-Forwarded-For names the client "
           "(repeatable)\n"
           "  --max-connections N        open connections in all (4096)\n"
           "  --max-connections-per-address N  open connections from one address (32)\n"
           "  --promote-after N          sessions that must agree on a proposed song (3)\n"
           "  --curator-token-file FILE  token that lets a client correct the catalogue\n"
           "  --database postgresql://...  keep the catalogue in PostgreSQL instead of DIR/catalogue.db\n"
           "  --session-secret-file FILE  key that signs session cookies (DIR/session-secret)\n";
}

std::string KeydCommandLine::default_data_dir()
{
    if (const char* data_home = std::getenv("XDG_DATA_HOME"); data_home && *data_home) {
        return std::string(data_home) + "/kestrune-keyd";
    }
    if (const char* home = std::getenv("HOME"); home && *home) {
        return std::string(home) + "/.local/share/kestrune-keyd";
    }
    return "kestrune-keyd-data";
}
