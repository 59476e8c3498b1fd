// The check behind "Port Select -> Network Port...": whether a device server answers at host:port
// over RFC 2217 and what answers behind it, in a sentence for the dialog. No Qt; it opens its own
// connection and leaves the drive link alone (the window may be connected elsewhere meanwhile).
#pragma once

#include <string>

namespace axtune {

// "rfc2217://host:port" for "host:port", "[v6]:port" or a whole rfc2217:// name; empty when there is
// no host or no port number 1..65535.
std::string NetworkPortUrl(const std::string& hostPort);
// The part after "rfc2217://", as the user types it.
std::string NetworkPortHostPort(const std::string& url);

struct NetworkPortCheck {
  bool opened = false;         // a device server took com port control
  bool driveAnswered = false;  // and a drive behind it answered the identification read
  std::string url;
  std::string message;  // what answered, or why nothing did (current language)
};

// Connects, negotiates, reads the identification record once and disconnects.
NetworkPortCheck CheckNetworkPort(const std::string& hostPort);

}  // namespace axtune
