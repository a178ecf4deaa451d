#include "service-sim/options.h"

#include <charconv>
#include <stdexcept>

namespace sim {
namespace {

std::vector<std::string> SplitEscaped(const std::string& text, char separator) {
  std::vector<std::string> fields(1);
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\\' && i + 1 < text.size())
      fields.back() += text[++i];
    else if (c == separator)
      fields.emplace_back();
    else
      fields.back() += c;
  }
  return fields;
}

int ParsePort(const std::string& text) {
  int port = -1;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), port);
  if (ec != std::errc() || end != text.data() + text.size() || port < 0 || port > 65535)
    throw std::invalid_argument("--port needs a number from 0 to 65535, not \"" + text + "\"");
  return port;
}

}  // namespace

Account ParseAccount(const std::string& text) {
  std::vector<std::string> f = SplitEscaped(text, ':');
  if (f.size() != 5)
    throw std::invalid_argument("--account needs EMAIL:PASSWORD:ACCOUNTID:ACCOUNTNAME:USERID, not \"" +
                                text + "\"");
  if (f[0].empty() || f[2].empty())
    throw std::invalid_argument("--account needs an e-mail address and an account id: \"" + text + "\"");
  return Account{f[0], f[1], f[2], f[3], f[4]};
}

Options ParseCommandLine(const std::vector<std::string>& args) {
  Options o;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw std::invalid_argument(a + " needs a value");
      return args[++i];
    };
    if (a == "--help" || a == "-h")
      o.help = true;
    else if (a == "--port")
      o.port = ParsePort(value());
    else if (a == "--tls")
      o.tls = true;
    else if (a == "--cert")
      o.certFile = value();
    else if (a == "--key")
      o.keyFile = value();
    else if (a == "--data")
      o.dataDir = value();
    else if (a == "--control")
      o.control = true;
    else if (a == "--account")
      o.accounts.push_back(ParseAccount(value()));
    else
      throw std::invalid_argument("unknown argument \"" + a + "\"");
  }
  if (o.help) return o;
  if (o.port < 0) throw std::invalid_argument("--port is required");
  if (o.dataDir.empty()) throw std::invalid_argument("--data is required");
  if (o.certFile.empty() != o.keyFile.empty())
    throw std::invalid_argument("--cert and --key go together");
  if (!o.certFile.empty() && !o.tls) throw std::invalid_argument("--cert and --key need --tls");
  return o;
}

const char* Usage() {
  return "usage: attestra-sim --port N|0 [--tls] [--cert FILE --key FILE] --data DIR [--control]\n"
         "                    [--account EMAIL:PASSWORD:ACCOUNTID:ACCOUNTNAME:USERID]...\n"
         "Prints the port it listens on (127.0.0.1 only) as its first line and serves until\n"
         "SIGTERM or SIGINT. With --tls and no --cert/--key it makes DIR/cert.pem and DIR/key.pem.\n";
}

}  // namespace sim
