// Security codes never reach the traces in clear.
#include "serial.h"

#include <gtest/gtest.h>

TEST(SerialMask, CodesAreStarredAndEverythingElseKept)
{
    EXPECT_EQ(serial_mask_codes("AT+CPIN=\"1234\"\r"), "AT+CPIN=\"****\"\r");
    EXPECT_EQ(serial_mask_codes("AT+CPIN=\"12345678\",\"4321\"\r"), "AT+CPIN=\"********\",\"****\"\r");
    EXPECT_EQ(serial_mask_codes("at+cpin=1234\r"), "at+cpin=****\r") << "unquoted and lower case too";
    EXPECT_EQ(serial_mask_codes("AT+CLCK=\"SC\",1,\"0000\"\r"), "AT+CLCK=\"**\",1,\"****\"\r");
    EXPECT_EQ(serial_mask_codes("AT+CPWD=\"P2\",\"5678\",\"8765\"\r"), "AT+CPWD=\"**\",\"****\",\"****\"\r");
    // Queries and other commands are left as they are, also past a masked line.
    EXPECT_EQ(serial_mask_codes("AT+CPIN?\r"), "AT+CPIN?\r");
    EXPECT_EQ(serial_mask_codes("AT+CLCK=?\r"), "AT+CLCK=?\r");
    EXPECT_EQ(serial_mask_codes("AT+CPIN=\"1234\"\r\nAT+CPBR=1\r"), "AT+CPIN=\"****\"\r\nAT+CPBR=1\r");
}
