#include "EmFramelessWidget.h"
#include "EmHitEdges.h"
#include "ShellTestSupport.h"

#include <QImage>
#include <gtest/gtest.h>

namespace {

TEST(FramelessWidget, LeftDragMovesTheWindowByTheCursorsPath)
{
    EmFramelessWidget window;
    window.setGeometry(100, 100, 300, 200);
    move_to(&window, {250, 180}, Qt::LeftButton);
    EXPECT_EQ(window.pos(), QPoint(100, 100)) << "a move before any press";

    press_at(&window, {200, 150}, Qt::LeftButton);
    move_to(&window, {210, 145}, Qt::LeftButton);
    EXPECT_EQ(window.pos(), QPoint(110, 95));
    press_at(&window, {300, 250}, Qt::RightButton);
    move_to(&window, {207, 160}, Qt::LeftButton);
    EXPECT_EQ(window.pos(), QPoint(107, 110));

    move_to(&window, {260, 190}, Qt::NoButton);
    move_to(&window, {260, 190}, Qt::RightButton);
    EXPECT_EQ(window.pos(), QPoint(107, 110));
}

TEST(FramelessWidget, PressInABandDragsWhenTheWindowSystemCannotResize)
{
    EmFramelessWidget window;
    window.setGeometry(100, 100, 300, 200);
    window.show();

    // The offscreen platform has no interactive resize.
    press_at(&window, {102, 102}, Qt::LeftButton);
    move_to(&window, {112, 122}, Qt::LeftButton);
    EXPECT_EQ(window.pos(), QPoint(110, 120));
}

TEST(FramelessWidget, BandsResizeTheEdgesTheyLieOn)
{
    EXPECT_EQ(hit_edges(EmHitCode::none), Qt::Edges());
    EXPECT_EQ(hit_edges(EmHitCode::left), Qt::Edges(Qt::LeftEdge));
    EXPECT_EQ(hit_edges(EmHitCode::bottom), Qt::Edges(Qt::BottomEdge));
    EXPECT_EQ(hit_edges(EmHitCode::top_left), Qt::TopEdge | Qt::LeftEdge);
    EXPECT_EQ(hit_edges(EmHitCode::top_right), Qt::TopEdge | Qt::RightEdge);
    EXPECT_EQ(hit_edges(EmHitCode::bottom_left), Qt::BottomEdge | Qt::LeftEdge);
    EXPECT_EQ(hit_edges(EmHitCode::bottom_right), Qt::BottomEdge | Qt::RightEdge);
}

TEST(FramelessWidget, IsAFramelessDarkCardWithSeeThroughCorners)
{
    EmFramelessWidget window;
    window.resize(120, 80);
    EXPECT_TRUE(window.isWindow());
    EXPECT_TRUE(window.windowFlags() & Qt::FramelessWindowHint);

    const QImage image = window.grab().toImage();
    EXPECT_EQ(image.pixelColor(60, 40), QColor(0x2A, 0x2C, 0x42));
    EXPECT_EQ(image.pixelColor(1, 40), QColor(0x2A, 0x2C, 0x42));
    // Antialiasing leaves a trace of the 3-pixel rounding in the outermost corner pixel.
    EXPECT_LT(image.pixelColor(0, 0).alpha(), 32);
    EXPECT_EQ(image.pixelColor(119, 79).alpha(), 0);
}

} // namespace
