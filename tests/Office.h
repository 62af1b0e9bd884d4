#pragma once

#include "Application.h"
#include "TestSupport.h"

namespace varnel::test {

// The program started as its start-up does, in a fresh working folder that is the current
// directory, with its errors recorded rather than shown in a box. Members go in the reverse
// order: the program, then the recorder, then the folder.
struct Office {
    Office();
    WorkFolder folder;
    ErrorRecorder errors;
    TApplication app;
    bool started = false; // false when start-up refused (another program holds the folder)
};

} // namespace varnel::test
