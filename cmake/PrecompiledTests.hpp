// What the test programs parse besides the libraries' headers.
#pragma once

#include "cmake/Precompiled.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
