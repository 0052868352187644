// test_support.h — shared helpers for the test suites.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "calls.h"
#include "engine.h"
#include "objects.h"

namespace testing_support {

// A fresh stand-in engine per test; at the end every engine object and
// string made during the test must be gone.
class EngineTest : public ::testing::Test {
 protected:
  EngineTest() : Baseline(standin::Live()) { Engine = std::make_unique<standin::Engine>(); }
  ~EngineTest() override {
    Engine.reset();
    EXPECT_EQ(standin::Live().Objects, Baseline.Objects) << "engine objects leaked";
    EXPECT_EQ(standin::Live().Strings, Baseline.Strings) << "engine strings leaked";
    for (const std::string &violation : standin::TakeViolations())
      ADD_FAILURE() << "the stand-in engine found a contract violation: " << violation;
  }
  standin::Engine &E() { return *Engine; }
  standin::ScriptObject *Global() { return static_cast<standin::ScriptObject *>(Engine->Global()); }

  standin::LiveCounts Baseline;
  std::unique_ptr<standin::Engine> Engine;
};

// Runs `body` and returns the engine exception's message it raised ("" if none).
template <class Body>
std::string EngineErrorOf(Body &&body) {
  try {
    body();
  } catch (const standin::EngineError &e) {
    return e.what();
  }
  return "";
}

}  // namespace testing_support
