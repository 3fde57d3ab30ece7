// The names RtMidi gives the ports of the ALSA sequencer and of JACK, read: whose
// client a port belongs to, and the name a port is shown under.
#pragma once

#include <string>

#include "portlib/system/rtmidi/RtMidiBackend.h"

namespace tonelink::mm::rtmidi {

// The client of a port name: what comes before the first colon.
std::string clientPart(const std::string& apiName);

// True when `client` is the client named `own`, or a renamed one of it: JACK renames a
// client whose name is taken by appending "-01", "-02"...
bool isOwnClient(const std::string& client, const std::string& own);

// An ALSA port name "client:port 20:0" without the trailing sequencer address; any
// other name as it is.
std::string withoutAlsaAddress(const std::string& name);

// "<API>: <port>" for a port name of the API. ALSA names lose their sequencer address,
// and the client's name when the port's name starts with it.
std::string shownName(RtMidiBackend::Api api, const std::string& apiName);

}  // namespace tonelink::mm::rtmidi
