#include "portlib/system/rtmidi/PortNames.h"

#include <algorithm>
#include <cctype>
#include <cstddef>

namespace tonelink::mm::rtmidi {

namespace {

bool allDigits(std::string::const_iterator begin, std::string::const_iterator end) {
  return std::all_of(begin, end, [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
}

}  // namespace

std::string clientPart(const std::string& apiName) { return apiName.substr(0, apiName.find(':')); }

bool isOwnClient(const std::string& client, const std::string& own) {
  if (client == own) return true;
  if (client.size() <= own.size() + 1 || client.compare(0, own.size(), own) != 0 || client[own.size()] != '-') {
    return false;
  }
  return allDigits(client.begin() + static_cast<std::ptrdiff_t>(own.size()) + 1, client.end());
}

std::string withoutAlsaAddress(const std::string& name) {
  const std::size_t space = name.rfind(' ');
  if (space == std::string::npos) return name;
  const std::string tail = name.substr(space + 1);
  const std::size_t colon = tail.find(':');
  const auto digits = [](const std::string& s) { return !s.empty() && allDigits(s.begin(), s.end()); };
  if (colon == std::string::npos || !digits(tail.substr(0, colon)) || !digits(tail.substr(colon + 1))) return name;
  return name.substr(0, space);
}

std::string shownName(RtMidiBackend::Api api, const std::string& apiName) {
  if (api == RtMidiBackend::Api::Jack) return "JACK: " + apiName;
  const std::string name = withoutAlsaAddress(apiName);
  const std::size_t colon = name.find(':');
  if (colon == std::string::npos) return "ALSA: " + name;
  const std::string client = name.substr(0, colon);
  const std::string port = name.substr(colon + 1);
  // "Midi Through:Midi Through Port-0" reads as "Midi Through Port-0".
  if (!client.empty() && port.compare(0, client.size(), client) == 0) return "ALSA: " + port;
  return "ALSA: " + name;
}

}  // namespace tonelink::mm::rtmidi
