#include "frame/com_apartment.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

TEST(FrameComApartment, ServerServicesRunMultithreaded) {
  EXPECT_EQ(ApartmentForHost("C:\\Program Files\\Tarnwick\\twimaps.exe"), ComApartment::MultiThreaded);
  EXPECT_EQ(ApartmentForHost("/opt/tw/bin/TWMTA.EXE"), ComApartment::MultiThreaded);
  EXPECT_EQ(ApartmentForHost("C:\\Office\\Outlook.exe"), ComApartment::MultiThreaded);
  EXPECT_EQ(ApartmentForHost("/usr/bin/twstore"), ComApartment::SingleThreaded);
  EXPECT_EQ(ApartmentForHost(""), ComApartment::SingleThreaded);
  EXPECT_EQ(ComScope().Apartment(), ComApartment::SingleThreaded);
}

}  // namespace
}  // namespace tw
