// A disk that fills up while a table or the result document is written: the run ends with
// "no queda espacio en el disco", the previous result is unchanged, every table left is sound
// and no temporary file stays behind. First with the fault library failing writes after a given
// number of bytes (swept over the whole run), then on a real, small tmpfs.

#include "fault_support.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>
#include <iostream>
#include <sstream>

namespace pelmira::faults {
namespace {

const std::string kDiskFull = "no queda espacio en el disco";

long long bytesOf(const fs::path& countFile) {
    std::istringstream in(readFile(countFile));
    long long steps = 0, bytes = 0;
    in >> steps >> bytes;
    return bytes;
}

void noTemporaryFiles(const fs::path& dir, const std::string& where) {
    for (const auto& e : fs::directory_iterator(dir))
        EXPECT_FALSE(e.path().filename().string().ends_with(".tmp"))
            << where << ": left " << e.path().filename();
}

void tablesSound(const fs::path& work, const std::string& where) {
    for (const auto& t : kWorkTables) {
        if (fs::exists(work / (t + ".DBF"))) {
            EXPECT_EQ(tableProblem(work / (t + ".DBF")), "") << where << ": " << t;
        }
    }
}

constexpr int kPoints = 40; // limits tried over the bytes a whole run writes

TEST(DiskFull, ExportAtEveryPointOfTheRun) {
    const pelmira::testing::ScratchFolder root;
    const fs::path work = root / "HTEMP";
    const fs::path xml = root / "escuela.xml";
    fs::copy_file(school(), xml);
    const std::vector<std::string> args{"export",      xml.string(), "--workdir",
                                        work.string(), "--template", "PMATI"};
    copyFolder(previousTables(), work);
    const Ran whole = cli(args, faulty("PELMIRA_FAULT_COUNT_FILE", (root / "count").string()));
    ASSERT_EQ(whole.status, 0) << whole.err;
    const long long total = bytesOf(root / "count");
    ASSERT_GT(total, 1000);

    int failed = 0;
    for (int i = 0; i < kPoints; ++i) {
        const long long limit = total * i / kPoints;
        const std::string where = "disk full after " + std::to_string(limit) + " bytes";
        fs::remove_all(work);
        copyFolder(previousTables(), work);
        const Ran r = cli(args, faulty("PELMIRA_FAULT_ENOSPC_AFTER", std::to_string(limit)));
        EXPECT_EQ(r.signal, 0) << where;
        ASSERT_EQ(r.status, 1) << where << ": " << r.err;
        ++failed;
        EXPECT_NE(r.err.find(kDiskFull), std::string::npos) << where << ": " << r.err;
        EXPECT_EQ(r.out.find("Proceso finalizado"), std::string::npos) << where;
        tablesSound(work, where);
        noTemporaryFiles(work, where);
    }
    std::cout << "[disk full] export: " << failed << " limits, every one a clear message\n";
}

TEST(DiskFull, ImportKeepsThePreviousResult) {
    const pelmira::testing::ScratchFolder root;
    const fs::path work = root / "HTEMP";
    const fs::path itaca = root / "itaca";
    const fs::path xml = itaca / "escuela.xml";
    const fs::path result = itaca / "ResultadoHorvexescuela.xml";
    const std::string oldResult = "<?xml version=\"1.0\"?>\n<centro codigo=\"anterior\"/>\n";
    const std::vector<std::string> args{"import", xml.string(), "--workdir", work.string()};
    const auto reset = [&] {
        fs::remove_all(work);
        fs::remove_all(itaca);
        copyFolder(importReady(), work);
        fs::create_directories(itaca);
        fs::copy_file(school(), xml);
        writeFile(result, oldResult);
    };
    reset();
    const Ran whole = cli(args, faulty("PELMIRA_FAULT_COUNT_FILE", (root / "count").string()));
    ASSERT_EQ(whole.status, 0) << whole.err;
    const long long total = bytesOf(root / "count");

    for (int i = 0; i < kPoints; ++i) {
        const long long limit = total * i / kPoints;
        const std::string where = "disk full after " + std::to_string(limit) + " bytes";
        reset();
        const Ran r = cli(args, faulty("PELMIRA_FAULT_ENOSPC_AFTER", std::to_string(limit)));
        EXPECT_EQ(r.signal, 0) << where;
        ASSERT_EQ(r.status, 1) << where << ": " << r.err;
        EXPECT_NE(r.err.find(kDiskFull), std::string::npos) << where << ": " << r.err;
        EXPECT_EQ(readFile(result), oldResult) << where;
        tablesSound(work, where);
        noTemporaryFiles(work, where);
        noTemporaryFiles(itaca, where);
    }
}

// The same on a real file system: a tmpfs holding the work folder and the ITACA folder, filled
// up with a file of its own so that `spareKb` kilobytes are left for the run.
struct TmpfsRun {
    Ran ran;
    fs::path out; // a copy of the mount's content after the run
};

TmpfsRun onTmpfs(const pelmira::testing::ScratchFolder& root, const fs::path& seed,
                 long long spareKb, const std::vector<std::string>& cliArgs) {
    TmpfsRun t;
    const fs::path mnt = root / "mnt";
    t.out = root / ("out" + std::to_string(spareKb));
    fs::create_directories(mnt);
    fs::create_directories(t.out);
    std::vector<std::string> args{std::to_string(spareKb), mnt.string(), seed.string(),
                                  t.out.string(), PELMIRA_CLI};
    args.insert(args.end(), cliArgs.begin(), cliArgs.end());
    t.ran = inMountNamespace(
        "spare=$1 mnt=$2 seed=$3 out=$4; shift 4\n"
        "mount -t tmpfs -o size=4m tmpfs \"$mnt\" || exit 97\n"
        "cp -a \"$seed\"/. \"$mnt\"/ || exit 98\n"
        "avail=$(df -k --output=avail \"$mnt\" | tail -n 1)\n"
        "fill=$((avail - spare))\n"
        "if [ $fill -gt 0 ]; then dd if=/dev/zero of=\"$mnt/relleno\" bs=1k count=$fill "
        "2>/dev/null; fi\n"
        "\"$@\"; rc=$?\n"
        "rm -f \"$mnt/relleno\"\n"
        "cp -a \"$mnt\"/. \"$out\"/\n"
        "exit $rc",
        args);
    return t;
}

TEST(DiskFull, RealSmallFileSystem) {
    if (!mountNamespacesWork())
        GTEST_SKIP() << "no private mount namespace here (unshare -m, mount -t tmpfs)";
    const pelmira::testing::ScratchFolder root;
    const fs::path seed = root / "seed";
    copyFolder(importReady(), seed / "HTEMP");
    fs::create_directories(seed / "itaca");
    fs::copy_file(school(), seed / "itaca" / "escuela.xml");
    const std::string oldResult = "<centro codigo=\"anterior\"/>\n";
    writeFile(seed / "itaca" / "ResultadoHorvexescuela.xml", oldResult);

    const fs::path mnt = root / "mnt";
    const std::vector<std::string> exportArgs{
        "export",     (mnt / "itaca" / "escuela.xml").string(),
        "--workdir",  (mnt / "HTEMP").string(),
        "--template", "PMATI"};
    const std::vector<std::string> importArgs{"import", (mnt / "itaca" / "escuela.xml").string(),
                                              "--workdir", (mnt / "HTEMP").string()};
    int tried = 0, completed = 0;
    for (const auto* args : {&exportArgs, &importArgs}) {
        for (long long spare = 0; spare <= 48; spare += 4) {
            const std::string where = std::string(args == &exportArgs ? "export" : "import") +
                                      " with " + std::to_string(spare) + " kB spare";
            const TmpfsRun t = onTmpfs(root, seed, spare, *args);
            if (t.ran.status == 97 || t.ran.status == 98)
                GTEST_SKIP() << "tmpfs cannot be mounted here: " << t.ran.err;
            ++tried;
            EXPECT_EQ(t.ran.signal, 0) << where;
            const fs::path work = t.out / "HTEMP";
            const fs::path result = t.out / "itaca" / "ResultadoHorvexescuela.xml";
            if (t.ran.status == 0) {
                ++completed;
            } else {
                EXPECT_EQ(t.ran.status, 1) << where << ": " << t.ran.err;
                EXPECT_NE(t.ran.err.find(kDiskFull), std::string::npos)
                    << where << ": " << t.ran.err;
                EXPECT_EQ(readFile(result), oldResult) << where;
            }
            tablesSound(work, where);
            noTemporaryFiles(work, where);
            noTemporaryFiles(t.out / "itaca", where);
            fs::remove_all(t.out);
        }
    }
    std::cout << "[disk full] tmpfs: " << tried << " runs, " << completed << " completed, the "
              << "others a clear message\n";
    EXPECT_GT(tried - completed, 0) << "no run met a full disk: the sizes need adjusting";
}

} // namespace
} // namespace pelmira::faults
