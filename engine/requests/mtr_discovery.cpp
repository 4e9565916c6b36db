// Serial-port discovery.
#include "mtr_discovery.h"

#include <cstdlib>

#include "engine_host.h"
#include "mmi_doc.h"
#include "mtr_setup.h"
#include "profile.h"
#include "serial.h"

namespace {

const char* const CLASS_PORTS = "System\\CurrentControlSet\\Services\\Class\\Ports";
const char* const ENUM_PORTS = "Enum\\Root\\Ports";
const char* const ID_CONFIG = "System\\CurrentControlSet\\Control\\IDConfigDB";

constexpr int FIRST_PORT = 1, LAST_PORT = 6;

struct virtual_port {
    int number = 0;
    std::string class_entry;  // the driver's entry under the ports class key
    std::string enum_entry;   // the port's entry under the enumeration key
};

// The virtual port of the driver file `driver`, when the key store knows it.
bool find_virtual_port(const std::string& driver, virtual_port* out)
{
    for (const std::string& entry : mtr_keys_subkeys(CLASS_PORTS)) {
        std::string key = std::string(CLASS_PORTS) + "\\" + entry;
        std::string port_driver, desc;
        if (!mtr_keys_get(key, "PortDriver", &port_driver) || port_driver != driver)
            continue;
        mtr_keys_get(key, "DriverDesc", &desc);
        for (const std::string& e : mtr_keys_subkeys(ENUM_PORTS)) {
            std::string ekey = std::string(ENUM_PORTS) + "\\" + e;
            std::string device_desc, drv, name;
            mtr_keys_get(ekey, "DeviceDesc", &device_desc);
            mtr_keys_get(ekey, "Driver", &drv);
            if (device_desc.rfind(desc, 0) != 0 || drv.find(entry) == std::string::npos)
                continue;
            if (!mtr_keys_get(ekey, "PortName", &name) || name.size() <= 3)
                continue;
            out->number = std::atoi(name.c_str() + 3);
            out->class_entry = key;
            out->enum_entry = e;
            return out->number > 0;
        }
    }
    return false;
}

// Disabled in the current hardware profile: the first byte of its
// CSConfigFlags (hexadecimal bytes) is 1 or 3.
bool virtual_port_disabled(const virtual_port& vp)
{
    std::string current, flags;
    if (!mtr_keys_get(ID_CONFIG, "CurrentConfig", &current))
        return false;
    std::string key = "Config\\" + current + "\\" + ENUM_PORTS + "\\" + vp.enum_entry;
    if (!mtr_keys_get(key, "CSConfigFlags", &flags) || flags.empty())
        return false;
    long first = std::strtol(flags.substr(0, 2).c_str(), nullptr, 16);
    return first == 1 || first == 3;
}

}  // namespace

MTR_RESULT mtr_GEN_test_communication()
{
    if (!gv_pDoc)
        return MTR_FAILED;
    std::string driver = gv_pDoc->GetVxdFileName();
    virtual_port vp;
    if (!driver.empty() && find_virtual_port(driver, &vp)) {
        mtr_keys_set(vp.class_entry, "CGMIResp", mtr_expected_manufacturer());
        if (GetIniProfileInt("Configuration", "ThroughVxd", 0) == 0) {
            MTR_RESULT interim = MTR_DONE;
            if (!virtual_port_disabled(vp)) {
                Close_Serial();
                if (Init_Serial(static_cast<uint16_t>(vp.number)) == 1) {
                    engine_trace("mtr_GEN_test_communication -> able to open vxd port");
                    Close_Serial();
                    engine_trace("mtr_GEN_test_communication -> now vxd port is closed");
                } else {
                    engine_trace("mtr_GEN_test_communication -> unable to open vxd port using by Data application?");
                    interim = MTR_PORT_FAILED;
                }
            } else {
                engine_trace("mtr_GEN_test_communication -> Virtual port of the Vxd not activated");
            }
            if (interim == MTR_PORT_FAILED)
                return MTR_VXD_BUSY;
            return mtr_port_scanning(vp.number);
        }
        engine_trace("mtr_GEN_test_communication -> Virtual port of the Vxd:" + std::to_string(vp.number));
        WriteIniProfileInt("Configuration", "SerialPort", vp.number);
        MTR_RESULT r = mtr_port_communication(vp.number, false);
        return r == MTR_PORT_FAILED ? MTR_VXD_BUSY : r;
    }
    int port = GetIniProfileInt("Configuration", "SerialPort", 0);
    engine_trace("mtr_GEN_test_communication -> Com port from ini file:" + std::to_string(port));
    return mtr_port_communication(port, true);
}

MTR_RESULT mtr_port_communication(int port, bool scan)
{
    MTR_RESULT result;
    if (port > 0) {
        int opened = 1;
        if (gv_SPIO_com_status == SPIO_no_com_available) {
            engine_trace("mtr_port_communication -> try to init serial port:" + std::to_string(port));
            opened = Init_Serial(static_cast<uint16_t>(port));
        }
        if (opened != 0) {
            engine_trace(
                "mtr_port_communication -> Init serial ok, try to communicate with device by calling "
                "mtr_IsComWithMobile");
            result = mtr_IsComWithMobile();
        } else {
            engine_trace("mtr_port_communication -> Unable to init com port, no scanning other port");
            result = MTR_PORT_FAILED;
        }
        if (result != MTR_DONE) {
            Close_Serial();
            if (scan) {
                engine_trace("mtr_port_communication -> Scan Com Port with no scan on com port:" +
                             std::to_string(port));
                result = mtr_port_scanning(port);
            }
        }
    } else {
        engine_trace("mtr_port_communication -> Scan all com ports");
        result = mtr_port_scanning(0);
        if (result != MTR_DONE)
            engine_trace("mtr_port_communication -> Unable to find a device");
    }
    return result;
}

MTR_RESULT mtr_port_scanning(int skip)
{
    Close_Serial();
    bool com1_failed = false;
    MTR_RESULT result = MTR_FAILED;
    for (int port = FIRST_PORT; port <= LAST_PORT; ++port) {
        if (port == skip)
            continue;
        engine_trace("mtr_port_scanning -> Try to open and initialise the port " + std::to_string(port));
        if (Init_Serial(static_cast<uint16_t>(port)) != 0) {
            result = mtr_IsComWithMobile();
            engine_trace("mtr_port_scanning -> The COM port has been open");
        } else {
            engine_trace("mtr_port_scanning -> The port could not be open");
            result = MTR_PORT_FAILED;
            if (port == 1)
                com1_failed = true;
        }
        if (result == MTR_DONE) {
            WriteIniProfileInt("Configuration", "SerialPort", port);
            engine_trace("mtr_port_scanning -> The requested mobile is connected to this port");
            return result;
        }
        Close_Serial();
        engine_trace("mtr_port_scanning -> The requested mobile is not connected to this port, the port is closed");
    }
    return com1_failed ? MTR_NO_PHONE : result;
}
