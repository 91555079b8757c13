#pragma once
// A scenario on each engine: the embedded one, and the tests' server (the
// test on it is skipped when UPDATER_FIREBIRD_SERVER names none).

#include "Installation.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <ostream>
#include <string>

namespace testsupport {

enum class Engine { Embedded, Server };

class OnEachEngine : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override
    {
        if (GetParam() == Engine::Server && TestServer().empty())
            GTEST_SKIP() << "no Firebird server (UPDATER_FIREBIRD_SERVER=host/port names one)";
    }
    // The server this run connects through; "" for the embedded engine.
    static std::string Server() { return GetParam() == Engine::Server ? TestServer() : ""; }
    // Makes the installation connect through this run's engine.
    static void UseEngine(Installation& installation)
    {
        if (GetParam() == Engine::Server)
            installation.UseServer(TestServer(), TestServer());
    }
};

inline void PrintTo(Engine engine, std::ostream* out) { *out << (engine == Engine::Server ? "server" : "embedded"); }

inline std::string EngineName(const ::testing::TestParamInfo<Engine>& info)
{
    return info.param == Engine::Server ? "Server" : "Embedded";
}

}  // namespace testsupport

// Runs the tests of fixture, derived from OnEachEngine, on each engine.
#define RUN_ON_EACH_ENGINE(fixture)                                                                     \
    INSTANTIATE_TEST_SUITE_P(, fixture,                                                                 \
                             ::testing::Values(testsupport::Engine::Embedded, testsupport::Engine::Server), \
                             testsupport::EngineName)
