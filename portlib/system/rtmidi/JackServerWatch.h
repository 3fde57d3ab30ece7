// A JACK client of our own, never activated, that tells whether a JACK server runs and
// notices when it goes away. It never starts a server. It also answers what the server
// knows of its MIDI ports.
//
// Tonelink's RtMidi backend lists the ports through it, and its open devices share one
// so that they stop sending once the server is gone: RtMidi's JACK output waits,
// spinning, for room in its ring, which a dead server never makes. quaverly-instrument
// asks it whether a server answers before RtMidi tries (without one RtMidi only warns,
// fails at the first port, and libjack complains for every client RtMidi opens), and
// ends when the server goes away.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

struct _jack_client;  // libjack's jack_client_t

namespace tonelink::jack {

// libjack prints its errors and information on stderr unless told otherwise; these
// set, for the whole process, what it does with them.
void silenceMessages();  // neither is printed
void printErrors();      // errors as "JACK: <text>" on stderr; information as before

class ServerWatch {
 public:
  // Called once, on a thread of libjack, when the server shuts down or drops the
  // client. Should do no more than raise a flag or a signal.
  using Gone = std::function<void()>;

  // A watch named `client` on the server JACK_DEFAULT_SERVER names; nothing when no
  // server answers.
  static std::unique_ptr<ServerWatch> open(const std::string& client, Gone gone = {});

  ~ServerWatch();
  ServerWatch(const ServerWatch&) = delete;
  ServerWatch& operator=(const ServerWatch&) = delete;

  bool gone() const { return gone_; }

  // The full names of the MIDI ports that send (the outputs of their clients) and of
  // those that receive, in the server's order; none once the server has gone.
  std::vector<std::string> midiSources();
  std::vector<std::string> midiDestinations();

  // The full names of the ports connected to the port named `port`; none when there is
  // no such port or the server has gone.
  std::vector<std::string> connections(const std::string& port);

  // The size of one period's buffer of a MIDI port, in bytes.
  std::size_t midiBufferBytes();

 private:
  ServerWatch(_jack_client* client, Gone gone) : client_(client), onGone_(std::move(gone)) {}

  std::vector<std::string> midiPorts(unsigned long flags);

  _jack_client* const client_;
  const Gone onGone_;
  std::atomic<bool> gone_{false};
  std::mutex mutex_;  // one libjack call at a time on this client
};

}  // namespace tonelink::jack
