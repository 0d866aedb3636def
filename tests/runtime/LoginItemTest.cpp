#include "runtime/LoginItem.hpp"

#include "platform/sim/SimLoginService.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

TEST(LoginItem, RegistersUnregistersAndHandsBackThePlatformsError) {
    sim::SimLoginService service;
    EXPECT_EQ(LoginItem::setEnabled(service, true), std::nullopt);
    EXPECT_EQ(service.status(), LoginService::Status::enabled);
    EXPECT_EQ(LoginItem::setEnabled(service, false), std::nullopt);
    EXPECT_EQ(service.status(), LoginService::Status::notRegistered);

    service.failWith(PlatformError{"Operation not permitted"});
    EXPECT_EQ(LoginItem::setEnabled(service, true), PlatformError{"Operation not permitted"});
    EXPECT_EQ(service.status(), LoginService::Status::notRegistered);
    EXPECT_EQ(service.registerCalls(), 2u);
    EXPECT_EQ(service.unregisterCalls(), 1u);
}

}  // namespace
}  // namespace velmar
