#include "wndmsg.h"

#include <QCoreApplication>
#include <QObject>

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Receiver : QObject {
    struct Seen { unsigned msg; std::uintptr_t w; std::intptr_t l; };
    std::vector<Seen> seen;
    bool event(QEvent* e) override
    {
        if (e->type() != CWndMsgEvent::EventType())
            return QObject::event(e);
        auto* m = static_cast<CWndMsgEvent*>(e);
        seen.push_back({m->message(), m->wParam(), m->lParam()});
        m->result = static_cast<std::intptr_t>(m->wParam()) * 2;
        return true;
    }
};

TEST(WndMsgTest, PostedMessagesArriveInOrderAfterTheLoopRuns)
{
    int argc = 0;
    QCoreApplication* app = QCoreApplication::instance();
    std::unique_ptr<QCoreApplication> own;
    if (!app)
        own = std::make_unique<QCoreApplication>(argc, nullptr);
    Receiver r;
    EXPECT_TRUE(PostMessage(&r, WM_MMI_BATTERY_CHARGE, 3, 0));
    EXPECT_TRUE(PostMessage(&r, WM_MMI_SMS_RECEIVED, 1, 17));
    EXPECT_TRUE(r.seen.empty());
    QCoreApplication::sendPostedEvents(&r);
    ASSERT_EQ(r.seen.size(), 2u);
    EXPECT_EQ(r.seen[0].msg, unsigned(WM_MMI_BATTERY_CHARGE));
    EXPECT_EQ(r.seen[0].w, 3u);
    EXPECT_EQ(r.seen[1].msg, unsigned(WM_MMI_SMS_RECEIVED));
    EXPECT_EQ(r.seen[1].l, 17);
    EXPECT_EQ(SendMessage(&r, WM_MMI_MS_PARAM_CHANGED, 21), 42);
    EXPECT_EQ(r.seen.size(), 3u);
    EXPECT_FALSE(PostMessage(nullptr, WM_MMI_START_UP));
    EXPECT_EQ(SendMessage(nullptr, WM_MMI_START_UP, 5), 0);
}

} // namespace
