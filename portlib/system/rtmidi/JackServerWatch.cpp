#include "portlib/system/rtmidi/JackServerWatch.h"

#include <jack/jack.h>

#include <cstdio>
#include <utility>

namespace tonelink::jack {

namespace {

void ignoreMessage(const char*) {}
void printError(const char* text) { std::fprintf(stderr, "JACK: %s\n", text); }

}  // namespace

void silenceMessages() {
  jack_set_error_function(&ignoreMessage);
  jack_set_info_function(&ignoreMessage);
}

void printErrors() { jack_set_error_function(&printError); }

std::unique_ptr<ServerWatch> ServerWatch::open(const std::string& client, Gone gone) {
  jack_status_t status{};
  jack_client_t* handle = jack_client_open(client.c_str(), JackNoStartServer, &status);
  if (!handle) return nullptr;
  std::unique_ptr<ServerWatch> watch(new ServerWatch(handle, std::move(gone)));
  // Called on a thread of libjack, until jack_client_close() in the destructor.
  jack_on_shutdown(
      handle,
      [](void* self) {
        auto& w = *static_cast<ServerWatch*>(self);
        w.gone_ = true;
        if (w.onGone_) w.onGone_();
      },
      watch.get());
  return watch;
}

ServerWatch::~ServerWatch() { jack_client_close(client_); }

std::vector<std::string> ServerWatch::midiSources() { return midiPorts(JackPortIsOutput); }
std::vector<std::string> ServerWatch::midiDestinations() { return midiPorts(JackPortIsInput); }

std::vector<std::string> ServerWatch::midiPorts(unsigned long flags) {
  std::vector<std::string> names;
  std::lock_guard lock(mutex_);
  if (gone_) return names;
  if (const char** found = jack_get_ports(client_, nullptr, JACK_DEFAULT_MIDI_TYPE, flags)) {
    for (std::size_t i = 0; found[i]; ++i) names.emplace_back(found[i]);
    jack_free(found);
  }
  return names;
}

std::vector<std::string> ServerWatch::connections(const std::string& port) {
  std::vector<std::string> peers;
  std::lock_guard lock(mutex_);
  if (gone_) return peers;
  jack_port_t* found = jack_port_by_name(client_, port.c_str());
  if (!found) return peers;
  if (const char** connected = jack_port_get_all_connections(client_, found)) {
    for (std::size_t i = 0; connected[i]; ++i) peers.emplace_back(connected[i]);
    jack_free(connected);
  }
  return peers;
}

std::size_t ServerWatch::midiBufferBytes() {
  std::lock_guard lock(mutex_);
  return jack_port_type_get_buffer_size(client_, JACK_DEFAULT_MIDI_TYPE);
}

}  // namespace tonelink::jack
