// The make_test_streams fixture: writes the shared streams for a test run.
#include "HeadsetStream.h"

int main() {
    vistrel::test::makeTestStreams();
}
