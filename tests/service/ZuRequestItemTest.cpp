#include "ZuRequestItem.h"
#include "ZuCommandReceiver.h"
#include "zudata.pb.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(ZuRequestItemTest, SerialsNeverRepeatWithinARun)
{
    std::set<std::string> serials;
    for (int i = 0; i < 10000; ++i) {
        const ZuRequestItem item(nullptr);
        ASSERT_EQ(item.serial.size(), 38u);
        ASSERT_TRUE(serials.insert(item.serial).second) << item.serial;
    }
}

TEST(ZuRequestItemTest, NotifyReachesTheReceiverAndToleratesNone)
{
    struct Receiver : ZuCommandReceiver
    {
        int calls = 0;
        void on_respond(zudata::ZuRespond*) override { ++calls; }
    } receiver;
    zudata::ZuRespond respond;
    ZuRequestItem(&receiver).notify(&respond);
    ZuRequestItem(nullptr).notify(&respond);
    EXPECT_EQ(receiver.calls, 1);
}

} // namespace
