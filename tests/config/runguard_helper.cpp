// Holds a RunGuard in its own process for the guard tests. Prints "held" or
// "busy" after tryToRun, then waits for "release" or "quit" on stdin.
#include "config/runguard.h"

#include <cstdio>
#include <iostream>
#include <string>

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    RunGuard guard(QString::fromLocal8Bit(argv[1]));
    const bool held = guard.tryToRun();
    std::cout << (held ? "held" : "busy") << std::endl;
    std::string line;
    while (std::getline(std::cin, line)) {
        if (line == "release") {
            guard.release();
            std::cout << "released" << std::endl;
        } else if (line == "another") {
            std::cout << (guard.isAnotherRunning() ? "yes" : "no") << std::endl;
        } else if (line == "try") {
            std::cout << (guard.tryToRun() ? "held" : "busy") << std::endl;
        } else if (line == "quit") {
            break;
        }
    }
    return held ? 0 : 1;
}
