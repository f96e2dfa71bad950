// A window module as an older or newer build of the program would leave it:
// its entry carries another symbol version than this build's.
extern "C" __attribute__((visibility("default"))) int tidewell_window_main(int, char **)
{
    return 0;
}
