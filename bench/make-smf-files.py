#!/usr/bin/env python3
"""Generates the Standard MIDI Files the SMF benchmarks read, into bench/data/ (or the
folder given). The same bytes come out on every run.

  tracks16.mid        format 1, 16 tracks, about 20,000 events
  tracks64-large.mid  format 1, 64 tracks, about 2.2 million events (about 8.4 MB):
                      notes in running status, controller and program changes, pitch
                      bend, SysEx and meta events
  tracks64-ties.mid   format 1, 64 tracks whose events all fall on a handful of ticks

usage: bench/make-smf-files.py [OUTPUT_FOLDER]
"""
import os
import random
import struct
import sys


def vlq(value):
    out = bytearray([value & 0x7F])
    value >>= 7
    while value:
        out.insert(0, 0x80 | (value & 0x7F))
        value >>= 7
    return bytes(out)


def chunk(body):
    return b"MTrk" + struct.pack(">I", len(body)) + bytes(body)


def smf(tracks):
    return b"MThd" + struct.pack(">IHHH", 6, 1, len(tracks), 480) + b"".join(chunk(t) for t in tracks)


def mixed_track(rng, number, events, delta_of):
    """A track of `events` events on channel number % 16, mostly notes in running status."""
    out = bytearray()
    channel = number % 16
    running = None
    name = b"Track %d" % number
    out += b"\x00\xff\x03" + vlq(len(name)) + name
    pending_off = []
    for _ in range(events):
        out += vlq(delta_of(rng))
        kind = rng.random()
        if kind < 0.90:
            status = 0x90 | channel
            if pending_off and rng.random() < 0.5:
                # Half the note-offs are note-ons of velocity 0, half are 0x8n messages.
                key, velocity = pending_off.pop(0), 0
                if rng.random() < 0.5:
                    status, velocity = 0x80 | channel, 64
            else:
                key, velocity = rng.randrange(36, 96), rng.randrange(40, 120)
                pending_off.append(key)
            if status != running:
                out.append(status)
                running = status
            out += bytes([key, velocity])
        elif kind < 0.95:
            status = 0xB0 | channel
            out += bytes([status, rng.choice((1, 7, 10, 11, 64)), rng.randrange(128)])
            running = status
        elif kind < 0.965:
            status = 0xE0 | channel
            out += bytes([status, rng.randrange(128), rng.randrange(128)])
            running = status
        elif kind < 0.975:
            status = 0xC0 | channel
            out += bytes([status, rng.randrange(128)])
            running = status
        elif kind < 0.988:
            data = bytes([0x43, 0x10 | channel, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7])
            out += b"\xf0" + vlq(len(data)) + data
            running = None
        else:
            text = b"cue %d" % rng.randrange(1000)
            out += b"\xff\x06" + vlq(len(text)) + text
            running = None
    out += b"\x00\xff\x2f\x00"
    return out


def small_deltas(rng):
    # Chords (0), short steps in one byte, and some longer ones in two.
    r = rng.random()
    return 0 if r < 0.35 else rng.randrange(1, 128) if r < 0.8 else rng.randrange(128, 960)


def tracks16(rng):
    return smf([mixed_track(rng, i, 1250, small_deltas) for i in range(16)])


def tracks64_large(rng):
    return smf([mixed_track(rng, i, 34200, small_deltas) for i in range(64)])


def tracks64_ties(rng):
    # Every event falls on one of eight ticks, so almost every choice is a tie.
    ticks = [0, 480, 960, 1440, 1920, 2400, 2880, 3360]
    tracks = []
    for number in range(64):
        times = sorted(rng.choice(ticks) for _ in range(2000))
        previous = 0
        out = bytearray()
        channel = number % 16
        out.append(0)
        out += bytes([0x90 | channel, 60, 100])
        for time in times:
            out += vlq(time - previous)
            previous = time
            out += bytes([rng.randrange(36, 96), rng.randrange(128)])
        out += b"\x00\xff\x2f\x00"
        tracks.append(out)
    return smf(tracks)


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "data")
    os.makedirs(folder, exist_ok=True)
    for name, make, seed in (("tracks16.mid", tracks16, 16), ("tracks64-large.mid", tracks64_large, 64),
                             ("tracks64-ties.mid", tracks64_ties, 8)):
        data = make(random.Random(seed))
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
        print("%-20s %10d bytes" % (name, len(data)))


if __name__ == "__main__":
    main()
