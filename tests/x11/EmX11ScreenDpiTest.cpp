#include "EmX11ScreenDpi.h"

#include <gtest/gtest.h>

TEST(EmX11ScreenDpi, XftDpiIsReadFromTheResourceDatabase)
{
    EXPECT_EQ(EmX11ScreenDpi::xft_dpi("Xft.antialias:\t1\nXft.dpi:\t120\nXft.hinting:\t1\n"), 120);
    EXPECT_EQ(EmX11ScreenDpi::xft_dpi("  Xft.dpi :  144.6  \n"), 145);
    EXPECT_EQ(EmX11ScreenDpi::xft_dpi("Xft.dpi:\t96\r\n"), 96);
    EXPECT_EQ(EmX11ScreenDpi::xft_dpi("Xft.dpi:\t96\nXft.dpi:\t192\n"), 192);
}

TEST(EmX11ScreenDpi, MissingOrUnusableXftDpiGivesNothing)
{
    EXPECT_EQ(EmX11ScreenDpi::xft_dpi(""), std::nullopt);
    EXPECT_EQ(EmX11ScreenDpi::xft_dpi("Xcursor.size:\t24\n"), std::nullopt);
    EXPECT_EQ(EmX11ScreenDpi::xft_dpi("*dpi:\t120\n"), std::nullopt);
    EXPECT_EQ(EmX11ScreenDpi::xft_dpi("Xft.dpi:\tlarge\n"), std::nullopt);
    EXPECT_EQ(EmX11ScreenDpi::xft_dpi("Xft.dpi:\t120dpi\n"), std::nullopt);
    EXPECT_EQ(EmX11ScreenDpi::xft_dpi("Xft.dpi:\t0\n"), std::nullopt);
    EXPECT_EQ(EmX11ScreenDpi::xft_dpi("Xft.dpi:\t-96\n"), std::nullopt);
    EXPECT_EQ(EmX11ScreenDpi::xft_dpi("Xft.dpi:\n"), std::nullopt);
}
