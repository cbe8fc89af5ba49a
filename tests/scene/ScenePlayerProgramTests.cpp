// The scene player and plugin_inspect as programs, the way users run them: what they refuse and
// print, what a failed or stopped run leaves in the output folder, scripts/main.sh run from
// another folder, the page in a real headless Chromium, and a crowded scene listened to for
// clicks, images and aliases.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>

#include "SceneTestSupport.h"

namespace {

namespace fs = std::filesystem;
using scene_tests::FileText;
using scene_tests::RunCommand;

const std::string kBin = ZV_BIN_DIR;
const std::string kTests = ZV_SCENE_TESTS_DIR;

std::string Quote(const std::string& in_text) {
    return "'" + in_text + "'";
}

// Every file of a folder, hidden ones included, with its bytes.
std::map<std::string, std::string> Folder(const std::string& in_directory) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(in_directory)) {
        files[entry.path().filename().string()] = FileText(entry.path().string());
    }
    return files;
}

class ScenePlayerProgramTest : public ::testing::Test {
protected:
    void SetUp() override { m_directory = scene_tests::OutputDirectory(); }

    // Runs scene_player with in_arguments; its exit code, and its output in m_output.
    int Player(const std::string& in_arguments) {
        return RunCommand(Quote(kBin + "/scene_player") + " " + in_arguments, m_output);
    }

    std::string WriteScene(const std::string& in_name, const std::string& in_text) {
        const std::string path = m_directory + "/" + in_name;
        std::ofstream(path) << in_text;
        return path;
    }

    std::string m_directory;
    std::string m_output;
};

TEST_F(ScenePlayerProgramTest, HostileScenesAreRefusedBeforeAnythingIsWritten) {
    for (const auto& entry : fs::directory_iterator(kTests + "/hostile")) {
        SCOPED_TRACE(entry.path().filename().string());
        const std::string out = m_directory + "/out";
        EXPECT_EQ(2, Player("--scene " + Quote(entry.path().string()) + " --out " + Quote(out)))
            << m_output;
        EXPECT_FALSE(m_output.empty());
        EXPECT_FALSE(fs::exists(out));
    }
    // A name that is more than one path component, from the command line.
    EXPECT_EQ(2, Player("--duration 0.1 --name ../../x --out " + Quote(m_directory + "/a/b")));
    EXPECT_NE(std::string::npos, m_output.find("is not one path component")) << m_output;
    EXPECT_FALSE(fs::exists(m_directory + "/a"));
}

TEST_F(ScenePlayerProgramTest, AFailedOrStoppedRunLeavesTheLastGoodFilesAsTheyWere) {
    const std::string out = m_directory + "/out";
    const std::string good = WriteScene(
        "good.json",
        R"({"name": "keep", "duration": 0.3, "voices": [{"source": {"type": "noise"}}]})");
    ASSERT_EQ(0, Player("--scene " + Quote(good) + " --out " + Quote(out))) << m_output;
    const std::map<std::string, std::string> before = Folder(out);
    ASSERT_EQ(5u, before.size());
    // A missing WAV source, a SOFA file that is not one, and a real-time run stopped by SIGTERM.
    const std::string missing = WriteScene(
        "missing.json",
        R"({"name": "keep", "voices": [{"source": {"type": "wav", "file": "gone.wav"}}]})");
    EXPECT_EQ(2, Player("--scene " + Quote(missing) + " --out " + Quote(out)));
    EXPECT_NE(std::string::npos, m_output.find("gone.wav")) << m_output;
    EXPECT_EQ(2,
              Player("--scene " + Quote(good) + " --sofa " + Quote(good) + " --out " + Quote(out)));
    EXPECT_NE(std::string::npos, m_output.find("is not a SOFA file")) << m_output;
    EXPECT_EQ(143, Player("--scene " + Quote(good) + " --duration 20 --realtime --out " +
                          Quote(out) + " & pid=$!; sleep 2; kill -TERM $pid; wait $pid"))
        << m_output;
    EXPECT_TRUE(before == Folder(out));
}

TEST_F(ScenePlayerProgramTest, OffATerminalItSaysWhereTheFilesAreAndWhichChannelsPlay) {
    const std::string wav = m_directory + "/eight.wav";
    scene_tests::WriteToneWav(wav, 48000, {100, 200, 300, 400, 500, 600, 700, 800}, 0.5);
    const std::string scene =
        WriteScene("channels.json", R"({"name": "channels", "duration": 0.3, "voices": [
            {"channels": 2, "source": {"type": "wav", "file": "eight.wav"}}]})");
    ASSERT_EQ(0, Player("--scene " + Quote(scene) + " --out " + Quote(m_directory) + " | cat"))
        << m_output;
    for (const std::string& text :
         {"headphones:     " + m_directory + "/channels-binaural.wav",
          "page:           " + m_directory + "/channels.html",
          std::string("eight.wav: 48000 Hz, 8 channels; plays channels 1-2 (channels 3-8 are "
                      "not played)")}) {
        EXPECT_NE(std::string::npos, m_output.find(text)) << text << "\n" << m_output;
    }
    EXPECT_NE(std::string::npos,
              FileText(m_directory + "/channels-report.json").find("channels 3-8 are not played"));
    // plugin_inspect says what it does instead of running.
    EXPECT_EQ(0, RunCommand(Quote(kBin + "/plugin_inspect") + " --help", m_output));
    EXPECT_EQ(0u, m_output.find("usage: plugin_inspect")) << m_output;
    EXPECT_EQ(2, RunCommand(Quote(kBin + "/plugin_inspect") + " --bogus", m_output));
}

// scripts/main.sh takes relative paths from where it runs and blames what is at fault.
TEST_F(ScenePlayerProgramTest, MainScriptWorksWhereTheUserStands) {
    WriteScene("here.json", R"({"name": "here", "duration": 0.2, "voices": []})");
    const std::string command = "cd " + Quote(m_directory) +
                                " && ZV_SCENE_PLAYER=" + Quote(kBin + "/scene_player") + " " +
                                Quote(kTests + "/../../scripts/main.sh");
    ASSERT_EQ(0, RunCommand(command + " --scene here.json", m_output)) << m_output;
    EXPECT_TRUE(fs::exists(m_directory + "/scene-output/here-binaural.wav")) << m_output;
    EXPECT_EQ(2, RunCommand(command + " --scene " + Quote(kTests + "/hostile/misspelt-gain.json"),
                            m_output));
    EXPECT_NE(std::string::npos, m_output.find("did you mean 'gain'")) << m_output;
    EXPECT_EQ(std::string::npos, m_output.find("librar")) << m_output;
}

// The page opens in a real headless Chromium (no network, a fresh profile): no message on the
// console (its script reports audio that does not load and figures that are not laid out), the
// picture and the four plots in the page, audio players on files that exist. The screenshot is
// left in the test's folder.
TEST_F(ScenePlayerProgramTest, ThePageLoadsInChromiumWithItsPictureItsPlotsAndItsAudio) {
    ASSERT_EQ(0, Player("--duration 2 --name \"page & 'test'\" --out " + Quote(m_directory)))
        << m_output;
    const std::string page = m_directory + "/page & 'test'.html";
    const std::string html = FileText(page);
    std::smatch match;
    std::string text = html;
    std::vector<std::string> sources;
    while (std::regex_search(text, match, std::regex("<audio [^>]*src=\"([^\"]+)\""))) {
        sources.push_back(match[1]);
        text = match.suffix();
    }
    ASSERT_EQ(2u, sources.size());
    for (std::string source : sources) {
        // The names are percent-encoded in the page.
        std::string name;
        for (size_t u = 0; u < source.size(); ++u) {
            name += source[u] == '%'
                        ? static_cast<char>(std::stoi(source.substr(u + 1, 2), nullptr, 16))
                        : source[u];
            u += source[u] == '%' ? 2 : 0;
        }
        EXPECT_TRUE(fs::exists(m_directory + "/" + name)) << name;
    }
    const std::string chromium =
        "chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
        "--disable-background-networking --disable-component-update --disable-sync "
        "--user-data-dir=" +
        Quote(m_directory + "/profile") +
        " --enable-logging=stderr --v=0 --virtual-time-budget=5000 --window-size=1280,2200 ";
    const std::string url = "'file://" + m_directory + "/page%20%26%20%27test%27.html'";
    const std::string screenshot = m_directory + "/page.png";
    ASSERT_EQ(0, RunCommand(chromium + "--screenshot=" + Quote(screenshot) + " " + url, m_output))
        << m_output;
    EXPECT_EQ(std::string::npos, m_output.find(":CONSOLE")) << m_output;
    EXPECT_GT(fs::file_size(screenshot), 20000u);
    std::cout << "screenshot of the page: " << screenshot << "\n";
    ASSERT_EQ(0, RunCommand(chromium + "--dump-dom " + url + " 2>/dev/null", m_output));
    const size_t uPicture = m_output.find("<figure id=\"picture\">");
    ASSERT_NE(std::string::npos, uPicture) << m_output;
    EXPECT_EQ(m_output.find("<svg", uPicture), m_output.find_first_not_of("\n", uPicture + 21));
    size_t uPlots = 0;
    for (size_t u = m_output.find("class=\"plot\""); u != std::string::npos;
         u = m_output.find("class=\"plot\"", u + 1)) {
        ++uPlots;
    }
    EXPECT_EQ(4u, uPlots);
}

// A crowded scene (twenty moving voices, one jumping, sources above and below, WAV sources at 8,
// 44.1 and 96 kHz): the headphone file holds the sources' tones and nothing else above -70 dBFS,
// and none of the WAV sources' images or aliases above -90 dBFS. The WAV files are made here.
TEST_F(ScenePlayerProgramTest, ACrowdedSceneHasNoClickBurstImageOrAlias) {
    scene_tests::WriteToneWav(m_directory + "/tone-8k.wav", 8000, {1000}, 3.0);
    scene_tests::WriteToneWav(m_directory + "/tone-44k.wav", 44100, {2500}, 3.0);
    {
        // 4 kHz and, above what 48 kHz can hold, 30 kHz, in one channel.
        scene_tests::WriteToneWav(m_directory + "/tone-96k.wav", 96000, {4000}, 3.0, 0.25);
        scene_tests::WriteToneWav(m_directory + "/high.wav", 96000, {30000}, 3.0, 0.25);
        scene_tests::WavFile low, high;
        ASSERT_TRUE(scene_tests::ReadWav(m_directory + "/tone-96k.wav", low));
        ASSERT_TRUE(scene_tests::ReadWav(m_directory + "/high.wav", high));
        for (size_t u = 0; u < low.samples.size(); ++u) {
            low.samples[u] += high.samples[u];
        }
        SF_INFO info = {};
        info.samplerate = 96000;
        info.channels = 1;
        info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
        SNDFILE* pFile = sf_open((m_directory + "/tone-96k.wav").c_str(), SFM_WRITE, &info);
        ASSERT_NE(nullptr, pFile);
        sf_writef_float(pFile, low.samples.data(), static_cast<sf_count_t>(low.samples.size()));
        sf_close(pFile);
    }
    fs::copy_file(kTests + "/scenes/twenty-voices.json", m_directory + "/twenty-voices.json");
    ASSERT_EQ(0, Player("--scene " + Quote(m_directory + "/twenty-voices.json") + " --out " +
                        Quote(m_directory)))
        << m_output;
    scene_tests::WavFile binaural;
    ASSERT_TRUE(scene_tests::ReadWav(m_directory + "/twenty-voices-binaural.wav", binaural));
    const std::vector<double> tones = {300,   450,   600,   800,   1000,  2000, 2500,
                                       3000,  3500,  4000,  4500,  5000,  5500, 8000,
                                       10000, 11000, 12000, 13000, 14000, 16000};
    const size_t uFrom = 4800, uTo = binaural.Frames() - 4800;
    for (int iEar = 0; iEar < 2; ++iEar) {
        SCOPED_TRACE(iEar);
        EXPECT_LT(scene_tests::LoudestOutsideDb(binaural, iEar, tones, 250, uFrom, uTo), -70.0);
        for (double fHz : {7000.0, 9000.0, 15000.0, 17000.0, 6400.0, 1400.0, 18000.0}) {
            EXPECT_LT(scene_tests::ToneLevelDb(binaural, iEar, uFrom, uTo, fHz), -90.0) << fHz;
        }
        // The 96 kHz file's audible tone is there (over a tenth of a second: the voice moves).
        EXPECT_GT(scene_tests::ToneLevelDb(binaural, iEar, uFrom, uFrom + 4800, 4000), -60.0);
    }
}

}  // namespace
