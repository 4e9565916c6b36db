// Serial-port discovery over simulators on pseudo-terminals.
#include "engine_fixture.h"
#ifdef ZORQ_HAVE_PHONESIM
#include <fstream>
#include <iterator>

#include "mtr_discovery.h"

using namespace engine_test;

namespace {

class DiscoveryTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        WriteTables();
        WriteIniProfileInt("Pellard", "Debug", 1);
        mtr_init("Quenvale");
        gv_SPIO_com_status = SPIO_no_com_available;
    }
    // The ports tried, in order, as the trace tells them.
    std::string tried()
    {
        std::string out;
        const std::string marks[] = {"try to init serial port:", "Try to open and initialise the port "};
        size_t at = 0;
        for (;;) {
            size_t best = std::string::npos, len = 0;
            for (const std::string& m : marks) {
                size_t f = host.trace.find(m, at);
                if (f < best)
                    best = f, len = m.size();
            }
            if (best == std::string::npos)
                return out;
            at = best + len;
            out += host.trace.substr(at, host.trace.find('\n', at) - at) + " ";
        }
    }
};

}  // namespace

TEST_F(DiscoveryTest, TheRememberedPortFirstThenTheOthersInOrder)
{
    // COM3 holds another maker's phone, COM1 is missing, the phone is on COM2.
    Sim(3, "manufacturer Othercorp\n");
    Sim(2);
    NoOtherPorts();
    WriteIniProfileInt("Configuration", "SerialPort", 3);
    ASSERT_EQ(mtr_GEN_test_communication(), MTR_DONE);
    EXPECT_EQ(tried(), "3 1 2 ");
    EXPECT_EQ(GetIniProfileInt("Configuration", "SerialPort", 0), 2);
    EXPECT_NE(host.trace.find("returned by the mobile = Othercorp"), std::string::npos);
    // The phone's port is left open for the engine.
    EXPECT_GE(serial_fd(), 0);
    // The AT trace of the run keeps the exchange with the wrong phone too.
    std::ifstream f(host.folder + "debugAT.txt", std::ios::binary);
    std::string trace((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    EXPECT_NE(trace.find("Othercorp"), std::string::npos);
    EXPECT_NE(trace.find("Quenvale"), std::string::npos);
}

TEST_F(DiscoveryTest, NoPhoneAnywhereAndNoCom1)
{
    // Another maker's phone on COM4 is tried, closed, and the scan goes on.
    Sim(4, "manufacturer Othercorp\n");
    NoOtherPorts();
    EXPECT_EQ(mtr_GEN_test_communication(), MTR_NO_PHONE);
    EXPECT_EQ(tried(), "1 2 3 4 5 6 ");
    EXPECT_EQ(serial_fd(), -1);
    EXPECT_EQ(GetIniProfileInt("Configuration", "SerialPort", 0), 0);
}

TEST_F(DiscoveryTest, WithCom1PresentTheLastPortsResultIsGiven)
{
    Sim(1, "manufacturer Othercorp\n");
    NoOtherPorts();
    EXPECT_EQ(mtr_GEN_test_communication(), MTR_PORT_FAILED);  // COM6 could not be opened
    gv_pDoc = nullptr;
    EXPECT_EQ(mtr_GEN_test_communication(), MTR_FAILED);  // no document
}

TEST_F(DiscoveryTest, AVirtualPortFromTheKeyStore)
{
    phonesim::Process& sim = Sim(5);
    NoOtherPorts();
    doc.vxd = "TVPORT.VXD";
    const std::string cls = "System\\CurrentControlSet\\Services\\Class\\Ports\\0003";
    mtr_keys_set(cls, "PortDriver", "TVPORT.VXD");
    mtr_keys_set(cls, "DriverDesc", "Tarvel virtual port");
    mtr_keys_set("Enum\\Root\\Ports\\0001", "DeviceDesc", "Tarvel virtual port (COM5)");
    mtr_keys_set("Enum\\Root\\Ports\\0001", "Driver", "Ports\\0003");
    mtr_keys_set("Enum\\Root\\Ports\\0001", "PortName", "COM5");

    // Through the virtual port: it is used, and remembered.
    WriteIniProfileInt("Configuration", "ThroughVxd", 1);
    ASSERT_EQ(mtr_GEN_test_communication(), MTR_DONE);
    EXPECT_EQ(GetIniProfileInt("Configuration", "SerialPort", 0), 5);
    std::string resp;
    ASSERT_TRUE(mtr_keys_get(cls, "CGMIResp", &resp));
    EXPECT_EQ(resp, "Quenvale");
    Close_Serial();

    // A real port is wanted but the virtual port cannot be opened (in use
    // by another program, or gone): -37, and no real port is scanned.
    WriteIniProfileInt("Configuration", "ThroughVxd", 0);
    const std::string device = sim.device();
    WriteIniProfileString("Ports", "COM5", "/dev/zorq-absent-5");
    host.trace.clear();
    EXPECT_EQ(mtr_GEN_test_communication(), MTR_VXD_BUSY);
    EXPECT_EQ(host.trace.find("mtr_port_scanning"), std::string::npos);
    WriteIniProfileString("Ports", "COM5", device);
    // Free again: it is opened, closed, and the real ports are scanned
    // without it.
    host.trace.clear();
    EXPECT_EQ(mtr_GEN_test_communication(), MTR_NO_PHONE);
    EXPECT_NE(host.trace.find("able to open vxd port"), std::string::npos);
    EXPECT_EQ(tried(), "1 2 3 4 6 ");
}

TEST_F(DiscoveryTest, KeyStoreFindsNothingWhenEmpty)
{
    EXPECT_TRUE(mtr_keys_subkeys("System\\CurrentControlSet\\Services\\Class\\Ports").empty());
    std::string v;
    EXPECT_FALSE(mtr_keys_get("Enum\\Root\\Ports\\0001", "PortName", &v));
    ASSERT_TRUE(mtr_keys_set("A\\B\\C", "x", "1\r\n2"));
    ASSERT_TRUE(mtr_keys_set("A\\B\\D\\E", "y", "2"));
    EXPECT_EQ(mtr_keys_subkeys("a\\b"), (std::vector<std::string>{"C", "D"}));
    ASSERT_TRUE(mtr_keys_get("A\\B\\C", "X", &v));
    EXPECT_EQ(v, "1  2");  // a value cannot add lines to the store
}
#endif
