// What the FLTK window turns its input into: dropped items into paths, keys into the
// navigation keys' numbers.
#include <FL/Enumerations.H>
#include <gtest/gtest.h>

#include "backends/fltk/fltk_window.h"

namespace tessaro::platform::fltk {
namespace {

TEST(DroppedFiles, UrisArePathsAgain) {
  struct Case {
    const char* text;
    std::vector<std::string> paths;
  } cases[] = {
      {"file:///home/u/song.mid", {"/home/u/song.mid"}},
      {"file:///home/u/my%20song%2B1.mid\r\nfile:///tmp/b.mid\r\n",
       {"/home/u/my song+1.mid", "/tmp/b.mid"}},
      {"file://host.example/srv/x.mid", {"/srv/x.mid"}},
      {"file:///m/%E6%9B%B2.mid", {"/m/曲.mid"}},
      {"/plain/path with %20 kept.mid\n", {"/plain/path with %20 kept.mid"}},
      {"# a comment\nhttp://example.com/a.mid\n\nfile:///ok.mid", {"/ok.mid"}},
      {"file://", {}},
      {"", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(droppedPaths(c.text), c.paths) << c.text;
}

TEST(NavigationKeys, TakeTheirVirtualKeyNumbers) {
  struct Case {
    int fltkKey, virtualKey;
  } cases[] = {
      {FL_Page_Up, 0x21}, {FL_Page_Down, 0x22}, {FL_End, 0x23},    {FL_Home, 0x24},
      {FL_Left, 0x25},    {FL_Up, 0x26},        {FL_Right, 0x27},  {FL_Down, 0x28},
      {FL_Print, 0x2C},   {FL_Insert, 0x2D},    {FL_Delete, 0x2E}, {'a', 0},
      {FL_Escape, 0},     {FL_F + 1, 0},
  };
  for (Case c : cases) EXPECT_EQ(navigationVirtualKey(c.fltkKey), c.virtualKey) << c.fltkKey;
}

}  // namespace
}  // namespace tessaro::platform::fltk
