#pragma once

#include <QString>

// Where tests find the programs they start and the files they read.
// The checkout's paths are compiled into testpaths.cpp alone: the test files
// carry none, so their objects are the same in every clone and a fresh
// clone's build finds them in ccache.
namespace testpaths {

// The build's bin/ folder: the program, the tools and the test helpers.
QString binDir();
// A program in binDir().
QString tool(const QString& name);
// The checkout's top folder.
QString sourceDir();

} // namespace testpaths
