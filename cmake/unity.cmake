# Unity builds: each target's sources compile in batches of ULVEX_UNITY_BATCH
# files, so the Qt, spdlog and fmt headers every file includes are parsed, and
# their inline code compiled, once a batch instead of once a file. Measured
# on the whole tree from nothing (RelWithDebInfo, no ccache): 1437 CPU
# seconds one file at a time, 1039 in batches of 8 (270 compile steps down
# to 166). A rebuild after touching one file pays for its whole batch: about
# 7 CPU seconds more for a file of lib/link (51 against 44 with relinks).
# Batch files include the sources by absolute path, so a checkout in another
# folder (CI's fresh clone) misses ccache's direct mode; its preprocessor
# mode still finds every batch (seen with ccache 4.7: a second clone's
# batches all hit, at the cost of preprocessing them). On by default; the
# Windows cross build keeps one file at a time (its platform files are not
# checked for names shared within a target).
#
# Sources of one target share a translation unit: helpers local to a file
# (anonymous namespace, static) need names of their own within the target.
# A file that cannot share one carries SKIP_UNITY_BUILD_INCLUSION.
#
# Never in the fuzz build: its areas are static libraries from which each
# target takes only the objects it uses, and a batch's object would pull in
# the other files' dependencies too.
if(WIN32)
    set(ulvex_unity_default OFF)
else()
    set(ulvex_unity_default ON)
endif()
option(ULVEX_UNITY_BUILD "Compile each target's sources in batches (unity build)" ${ulvex_unity_default})
set(ULVEX_UNITY_BATCH 8 CACHE STRING "Sources per batch in a unity build")
if(ULVEX_FUZZ)
    set(ULVEX_UNITY_BUILD OFF)
endif()
set(CMAKE_UNITY_BUILD ${ULVEX_UNITY_BUILD})
set(CMAKE_UNITY_BUILD_BATCH_SIZE ${ULVEX_UNITY_BATCH})
