// Reads a 250-entry SIM phonebook through the engine from the phone
// simulator paced at 19200 and at 115200 baud, and prints the bytes
// exchanged, the wall time, the time those bytes need on the wire, the
// ratio of the two and the processor time of this process.
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "ati.h"
#include "bench_engine.h"
#include "krn.h"
#include "mtr_frame.h"
#include "mtr_pb.h"
#include "phonesim_client.h"
#include "profile.h"
#include "serial.h"

namespace {

using bench::Doc;
using bench::Host;
using bench::seconds;

int run(int baud, Doc& doc)
{
    phonesim::Process sim(bench::simPhonebook250(), baud);
    WriteIniProfileString("Ports", "COM1", sim.device());
    if (Init_Serial(1) != 1) {
        std::fprintf(stderr, "cannot open %s\n", sim.device().c_str());
        return 1;
    }
    MTR_PB_STORAGE rec[MTR_PB_RECORDS];
    if (mtr_PB_setup(rec) != MTR_DONE || mtr_PB_select_storage(PB_SRC_SIM) != MTR_DONE) {
        std::fprintf(stderr, "phonebook set-up failed\n");
        return 1;
    }
    doc.entries = 0;
    uint64_t in0, out0, in1, out1;
    serial_byte_counts(&in0, &out0);
    const double wall0 = seconds(CLOCK_MONOTONIC), cpu0 = seconds(CLOCK_PROCESS_CPUTIME_ID);
    MTR_RESULT r = mtr_PB_read_range(1, rec[MTR_PB_REC_SIM_ADN].capacity);
    const double wall = seconds(CLOCK_MONOTONIC) - wall0, cpu = seconds(CLOCK_PROCESS_CPUTIME_ID) - cpu0;
    serial_byte_counts(&in1, &out1);
    Close_Serial();
    const double bytes = static_cast<double>((in1 - in0) + (out1 - out0));
    const double wire = bytes * 10.0 / baud;  // 8N1: ten bit times a byte
    std::printf("%6d baud: result %d, %d entries, %.0f bytes (%llu in, %llu out), wall %.3f s, wire %.3f s, "
                "wall/wire %.3f, processor %.3f s (%.1f%% of wall)\n",
                baud, static_cast<int>(r), doc.entries, bytes, static_cast<unsigned long long>(in1 - in0),
                static_cast<unsigned long long>(out1 - out0), wall, wire, wall / wire, cpu, 100.0 * cpu / wall);
    return r == MTR_DONE && doc.entries == 250 ? 0 : 1;
}

}  // namespace

int main()
{
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("zorq-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    Host host;
    Doc doc;
    bench::startEngine(host, doc, dir.string() + "/");
    int failures = run(19200, doc) + run(115200, doc);
    bench::stopEngine();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return failures ? 1 : 0;
}
