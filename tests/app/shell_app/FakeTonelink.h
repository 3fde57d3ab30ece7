// A stand-in for the Tonelink port library, built as a shared library of the same
// file name, so that the program's start, its MIDI Port Setup and its commands can be
// tested without MIDI devices. The test reaches the library's record of what was
// called through fakeTonelinkState().
#pragma once

#include <string>
#include <vector>

struct FakeTonelinkState {
  unsigned inputId = 0;
  unsigned outputId = 0;
  // Every _ENTRYcomSetDeviceID call: (kind, id).
  std::vector<std::pair<int, unsigned>> setDeviceIdCalls;
  // _ENTRYctrlSelectDevice: the title it was given, how often, and the ids it
  // applies as OK would (Cancel when selectAccepts is false).
  std::string selectTitle;
  int selectCalls = 0;
  bool selectAccepts = true;
  unsigned selectInputId = 0;
  unsigned selectOutputId = 0;
  // What opening a port answers, and how often each entry point ran.
  int inOpenResult = 0;
  int outOpenResult = 0;
  int inOpenCalls = 0;
  int inCloseCalls = 0;
  int outCloseCalls = 0;
};

using FakeTonelinkStateFn = FakeTonelinkState* (*)();
