#pragma once
// The stress self-test of the application delegate: for a given time it opens and closes movies, pictures
// and sounds in new players and logs every step. Tests: 0 mixed (at random; with a duration of 0 each of
// the others once), 1 a movie that loops, 2 pictures in turn, 3 sounds in turn.
//
// With "MVPLAYERSELFTEST" set to "<test> <seconds>" the program runs it once launching is over and then
// quits. Its log lines go to the test log: the standard error, each line starting with "MVPSelfTest: ".
#include <functional>
#include <string>
#include <vector>

class MVPApplicationDelegate;

namespace MVPSelfTest {

// The log facility (a level, always 0, and the line). Null when there is none: then the self-test logs
// that it cannot run and returns.
using LogFunction = std::function<void(int level, const std::string& line)>;
LogFunction testLogFunction();
void setTestLogFunction(LogFunction function);

// The files the tests open: the introduction movie, and up to ten pictures and ten sounds of the system.
struct Files {
    std::string introductionMovie;
    std::vector<std::string> pictures;
    std::vector<std::string> sounds;
};
Files systemFiles();

// Runs a test for `duration` seconds.
void runTest(MVPApplicationDelegate& delegate, int test, double duration, const Files& files = systemFiles());

// Reads "MVPLAYERSELFTEST"; when it is set, runs the test on the main loop and quits afterwards. True when
// a run was scheduled.
bool scheduleFromEnvironment(MVPApplicationDelegate& delegate);

} // namespace MVPSelfTest
