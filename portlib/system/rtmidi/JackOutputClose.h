// Closing an RtMidi JACK output so that the RtMidi object can then be destroyed safely.
//
// RtMidi 5.0 frees a JACK output's ring buffer before it closes its JACK client, so a
// process cycle still running at that moment would read freed memory. Once the port
// is closed every new cycle returns at once; a pause after closing lets one already
// under way end.
#pragma once

class RtMidiOut;

namespace tonelink::jack {

// Closes the port of `out`, an RtMidiOut of the JACK API (an error in closing is
// ignored), then waits out a process cycle under way. Destroy `out` after this.
void closeRtMidiOutput(RtMidiOut& out) noexcept;

}  // namespace tonelink::jack
