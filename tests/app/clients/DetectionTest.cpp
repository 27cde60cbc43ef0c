#include "app/clients/Detection.h"

#include <gtest/gtest.h>

#include <QFile>
#include <atomic>
#include <thread>

#include "app/demo/FakeMac.h"

namespace quillet {
namespace {

TEST(DetectionTest, OutlookModeIsProbedOnceEvenFromSeveralThreads) {
    FakeMac mac;
    const QString counter = mac.rootPath("/var/fake-mac/defaults-runs");
    mac.writeFile("/usr/bin/defaults",
                  ("#!/bin/sh\necho run >> '" + counter + "'\necho 0\n").toUtf8());
    QFile::setPermissions(mac.rootPath("/usr/bin/defaults"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    const OutlookModeProbe probe(mac.paths());
    std::atomic<int> legacyAnswers{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&] { legacyAnswers += probe.get().mode == OutlookMode::legacy; });
    for (auto& thread : threads)
        thread.join();
    probe.get();

    EXPECT_EQ(legacyAnswers, 4);
    QFile runs(counter);
    ASSERT_TRUE(runs.open(QIODevice::ReadOnly));
    EXPECT_EQ(runs.readAll(), "run\n");
}

}  // namespace
}  // namespace quillet
