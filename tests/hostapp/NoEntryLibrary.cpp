// A library that loads but has no entry point, for the host's error path.
extern "C" __attribute__((visibility("default"))) int quorvel_not_an_entry(int x) { return x + 1; }
