// The test module's one export, found by GetProcAddress.
extern "C" int ModTestAnswer();
extern "C" int ModTestAnswer() {
    return 42;
}
