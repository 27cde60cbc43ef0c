#pragma once
// A sample Mac to try Quillet on: the five clients installed, a few accounts each, and in every
// client one signature of the person's own, which Quillet must never change. The demo, the
// quillet-sample-mac tool and the end-to-end tests start from it.

#include <QString>

#include "app/demo/FakeMac.h"

namespace quillet {

struct SampleMac {
    // Apple Mail: ann@example.com and ann.home@example.com; the person's signature "Mine".
    QString appleMailSignaturesFolder;
    QString appleMailOwnSignatureFile;
    // Outlook: jane@example.com; the person's signature "Mine" (in the stand-in's state).
    QString outlookState;
    // Postbox: pat@example.com and pam@example.com; the person's entry "Mine" in its list.
    QString postboxPrefs;
    QString postboxSignatures;
    // Spark: sue@example.com and sam@example.com; the person's signature row.
    QString sparkSettings;
    // Thunderbird: tom@example.com and tim@example.com; tim has a signature of his own.
    QString thunderbirdPrefs;
};

inline const QString kSampleThunderbirdOwnLine =
    R"(user_pref("mail.identity.id2.htmlSigText", "<b>Tim's own</b>");)";

// Lays the sample out on the fake Mac; permissions granted, no client running.
SampleMac BuildSampleMac(const FakeMac& mac);
// The sample of a fake Mac in folder FROM, in its copy in folder TO.
SampleMac MovedSampleMac(const SampleMac& sample, const QString& from, const QString& to);

}  // namespace quillet
