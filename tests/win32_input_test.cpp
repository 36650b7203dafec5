// The Windows MIDI inputs as far as they can be seen without devices: the multimedia input
// devices listed by number, names that stand for no device, and a COM port that does not exist,
// each said in words. Runs under Wine.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "backends/win32/win32_platform.h"

namespace tessaro::platform::win32 {
namespace {

TEST(Win32MidiInputs, DevicesAreListedByNumber) {
  Win32SerialPorts serial;
  Win32MidiInputs inputs(serial);
  PortListing listing = inputs.listPorts();
  EXPECT_EQ(listing.reason, "");
  for (size_t i = 0; i < listing.ports.size(); ++i) {
    EXPECT_EQ(listing.ports[i].address, std::to_string(i));
    EXPECT_FALSE(listing.ports[i].name.empty());
  }
}

TEST(Win32MidiInputs, WhatCannotBeReadIsSaidInWords) {
  Win32SerialPorts serial;
  Win32MidiInputs inputs(serial);
  struct Row {
    std::string name;
    std::string reason;
  } rows[] = {
      {"COM97", "COM97: no such port on this machine"},
      {"com98", "COM98: no such port on this machine"},
      {"99", "no such MIDI input (tessaro -l lists them)"},
      {"COM100", "no such MIDI input (tessaro -l lists them)"},
      {"no device of this name", "no such MIDI input (tessaro -l lists them)"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    MidiInputOpen opened = inputs.open(row.name);
    EXPECT_FALSE(opened.input);
    EXPECT_EQ(opened.reason, row.reason);
  }
}

}  // namespace
}  // namespace tessaro::platform::win32
