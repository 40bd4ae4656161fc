#pragma once
// A general-function object on a clock the test sets.
#include <gtest/gtest.h>

#include <memory>

#include "FakeClock.h"
#include "ScriptedMessageBox.h"
#include "clsPublicFunc.h"

class PublicFuncTest : public testing::Test {
 protected:
  std::shared_ptr<testing_support::FakeClock> clock_ =
      std::make_shared<testing_support::FakeClock>();
  clsPublicFunc f_{norvale::Seams{std::make_shared<norvale::ScriptedMessageBox>(), clock_,
                                  std::make_shared<norvale::SystemMessagePump>()}};
};
