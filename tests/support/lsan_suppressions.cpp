// LeakSanitizer reads these when a test program built with it ends: fontconfig keeps its
// configuration and caches for the life of the process, and a few of its blocks are no longer
// pointed at by then. Nothing of ours allocates them.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
