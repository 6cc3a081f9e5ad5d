// A name no form knows is a program error: it stops a debug build at the call, and a
// release build writes a report to stderr and goes on. EXPECT_REPORTED checks whichever
// of the two the build under test does; `pattern` must match the report.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#ifdef NDEBUG
#define EXPECT_REPORTED(statement, pattern)                                                       \
    do {                                                                                          \
        ::testing::internal::CaptureStderr();                                                     \
        statement;                                                                                \
        EXPECT_THAT(::testing::internal::GetCapturedStderr(), ::testing::ContainsRegex(pattern)); \
    } while (false)
#else
#define EXPECT_REPORTED(statement, pattern) EXPECT_DEATH(statement, pattern)
#endif
