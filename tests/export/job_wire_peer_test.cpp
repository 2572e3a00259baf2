// The worker protocol checked by a peer that is not our code: a python3 worker frames its messages by
// hand (4-byte big-endian length, plistlib's XML) and talks to the job queue's sockets.
#include "job_test_support.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <climits>

using namespace movara::test;
using namespace movara::test::jobs;
namespace fs = std::filesystem;

namespace {

const char* kPythonWorker = R"PY(#!/usr/bin/env python3
import os, plistlib, socket, struct, sys

port = int(sys.argv[1])
secret = os.read(int(os.environ["MVPLAYERHELPER_SECRET_FD"]), 4096).decode()

def send(sock, message):
    body = plistlib.dumps(message, fmt=plistlib.FMT_XML)
    sock.sendall(struct.pack(">I", len(body)) + body)

def read_exact(sock, n):
    data = b""
    while len(data) < n:
        chunk = sock.recv(n - len(data))
        if not chunk:
            return None
        data += chunk
    return data

def receive(sock):
    header = read_exact(sock, 4)
    if header is None:
        return None
    (length,) = struct.unpack(">I", header)
    return plistlib.loads(read_exact(sock, length))

# An impostor with the wrong secret is closed on and never sees the job.
impostor = socket.create_connection(("127.0.0.1", port))
send(impostor, {"MVHelperSecret": "0" * len(secret)})
if impostor.recv(1) != b"":
    sys.exit(10)
impostor.close()

worker = socket.create_connection(("127.0.0.1", port))
send(worker, {"MVHelperSecret": secret})
params = receive(worker)
if params is None:
    sys.exit(11)
send(worker, {"status": "ExportState", "progress": 0.25, "echo": params["description"],
              "echoData": params["MVExpMovieIn"], "kind": params["MVExpType"]})
send(worker, {"requestResource": "ZantrelScript"})
if receive(worker) != {"Result": True}:
    sys.exit(12)
# Two frames in one write, the second split across two writes.
first = plistlib.dumps({"releaseResource": "ZantrelScript"}, fmt=plistlib.FMT_XML)
second = plistlib.dumps({"offset": 512, "length": 2048}, fmt=plistlib.FMT_XML)
stream = struct.pack(">I", len(first)) + first + struct.pack(">I", len(second)) + second
worker.sendall(stream[:-10])
worker.sendall(stream[-10:])
worker.close()
sys.exit(0)
)PY";

TEST(JobWirePeer, PythonWorkerExchangesFramesWithTheJobQueue)
{
    if (!haveProgram("python3"))
        GTEST_SKIP() << "python3 is needed";
    TempDir temp;
    auto worker = temp / "worker.py";
    writeFile(worker, kPythonWorker);
    fs::permissions(worker, fs::perms::owner_all);

    JobManager manager(INT_MAX, worker.string());
    auto delegate = std::make_shared<RecordingDelegate>();
    std::string description = "Résumé <of> \"the\" & movie";
    HXData movieBytes(std::string("\0\x01\xff moov bytes", 13));
    auto job = manager.newJobWithParams(
        { { "MVExpType", "Flatten" }, { "description", description }, { "MVExpMovieIn", movieBytes } },
        delegate);
    manager.startJob(job, false);
    ASSERT_TRUE(runUntil([&] { return isFinal(job); }));
    ASSERT_EQ(job->state(), JobState::Complete) << "worker exit code " << job->exitCode();

    ASSERT_EQ(delegate->messages.size(), 4u);
    const auto& progress = delegate->messages[0];
    EXPECT_EQ(progress["echo"].stringValue(), description);
    EXPECT_EQ(progress["echoData"].dataValue(), movieBytes);
    EXPECT_EQ(progress["kind"].stringValue(), "Flatten");
    EXPECT_DOUBLE_EQ(progress["progress"].realValue(), 0.25);
    EXPECT_EQ(delegate->messages[1]["requestResource"].stringValue(), "ZantrelScript");
    EXPECT_EQ(delegate->messages[2]["releaseResource"].stringValue(), "ZantrelScript");
    EXPECT_EQ(delegate->messages[3]["offset"].integerValue(), 512);
    EXPECT_EQ(delegate->messages[3]["length"].integerValue(), 2048);
    EXPECT_EQ(manager.resourceAvailability("ZantrelScript"), 1);
}

} // namespace
