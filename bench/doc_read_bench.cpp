// The document's background phonebook reading (one location per idle call)
// of a 250-entry SIM phonebook from the phone simulator paced at 19200 and
// at 115200 baud: bytes exchanged, wall time, the time those bytes need on
// the wire, their ratio and the processor time of this process. The reading
// must stay within 1.5 times its wire time and under 10% of one processor.
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench_engine.h"
#include "mtr_pb.h"
#include "pbdatabase.h"
#include "phonesim_client.h"
#include "profile.h"
#include "serial.h"
#include "zorqapp.h"
#include "zorqmmidoc.h"

namespace {

using bench::seconds;

int run(int baud)
{
    phonesim::Process sim(bench::simPhonebook250(), baud);
    WriteIniProfileString("Ports", "COM1", sim.device());
    if (Init_Serial(1) != 1) {
        std::fprintf(stderr, "cannot open %s\n", sim.device().c_str());
        return 1;
    }
    gv_SPIO_com_status = SPIO_com_available;
    auto doc = std::make_unique<CZorqMMIDoc>();
    MS_PARAM& param = doc->GetMSParam();
    if (mtr_PB_setup(param.pb) != MTR_DONE) {
        std::fprintf(stderr, "phonebook set-up failed\n");
        return 1;
    }
    // Only the SIM phonebook is measured.
    param.pb[MTR_PB_REC_SIM_FDN] = MTR_PB_STORAGE{};
    param.pb[MTR_PB_REC_EEPROM_ADN] = MTR_PB_STORAGE{};
    for (int s : {1, 2, 3})
        doc->CreatePBMirrorDatabase(s);
    doc->ResetPBUpload();

    uint64_t in0, out0, in1, out1;
    serial_byte_counts(&in0, &out0);
    const double wall0 = seconds(CLOCK_MONOTONIC), cpu0 = seconds(CLOCK_PROCESS_CPUTIME_ID);
    int steps = 0;
    while (doc->GetPBUploadState() == 1 && steps < 1000) {
        doc->BackGroundUpLoadPB();
        ++steps;
    }
    const double wall = seconds(CLOCK_MONOTONIC) - wall0, cpu = seconds(CLOCK_PROCESS_CPUTIME_ID) - cpu0;
    serial_byte_counts(&in1, &out1);

    int rows = 0;
    {
        CJetDatabase db;
        db.Open(GetPBDatabaseName(1));
        CEntryPhoneRecordset rs(&db);
        rs.Open(dbOpenDynaset, "SELECT * FROM EntryPhone");
        rows = static_cast<int>(rs.GetRecordCount());
    }
    doc.reset();
    Close_Serial();
    const double bytes = static_cast<double>((in1 - in0) + (out1 - out0));
    if (baud == 0) {
        // An unpaced phone: the processor time of the reading itself.
        std::printf("unpaced: %d idle steps, %d entries in the mirror, %.0f bytes, wall %.3f s, processor %.3f s "
                    "(%.0f us a location)\n",
                    steps, rows, bytes, wall, cpu, 1e6 * cpu / 250);
        return rows == 250 ? 0 : 1;
    }
    const double wire = bytes * 10.0 / baud;  // 8N1: ten bit times a byte
    const double share = 100.0 * cpu / wall;
    std::printf("%6d baud: %d idle steps, %d entries in the mirror, %.0f bytes (%llu in, %llu out), wall %.3f s, "
                "wire %.3f s, wall/wire %.3f, processor %.3f s (%.1f%% of wall)\n",
                baud, steps, rows, bytes, static_cast<unsigned long long>(in1 - in0),
                static_cast<unsigned long long>(out1 - out0), wall, wire, wall / wire, cpu, share);
    const bool ok = rows == 250 && wall / wire <= 1.5 && share < 10.0;
    if (!ok)
        std::printf("%6d baud: NOT within 1.5 x wire time and 10%% of a processor\n", baud);
    return ok ? 0 : 1;
}

}  // namespace

// Arguments: the speeds to measure (0: an unpaced phone); by default 19200
// and 115200.
int main(int argc, char** argv)
{
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("zorq-docbench-" + std::to_string(getpid()));
    for (const char* sub : {"Res", "Database", "Work", "Files", "Melody"})
        std::filesystem::create_directories(dir / sub);
    CZorqMMIApp app;
    app.SetDataDirectories((dir / "zorqmmi").string());
    bench::Host host;
    bench::Doc idle;
    bench::startEngine(host, idle, dir.string() + "/");
    std::vector<int> speeds;
    for (int i = 1; i < argc; ++i)
        speeds.push_back(std::atoi(argv[i]));
    if (speeds.empty())
        speeds = {19200, 115200};
    int failures = 0;
    for (int baud : speeds)
        failures += run(baud);
    bench::stopEngine();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return failures;
}
