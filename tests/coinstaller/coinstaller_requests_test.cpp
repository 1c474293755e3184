#include "coinstaller_fixture.h"

#include <cfgmgr32.h>

#include <cstdio>
#include <cstring>

#include <vector>

using harness::AddFilterDevice;
using harness::AddReader;
using harness::CallCoDeviceInstall;
using harness::CoInstallTexts;
using harness::HasText;
using harness::LevelOf;
using harness::ReaderTree;
using harness::SetPropertyChange;
using harness::TextLog;
using harness::TraceLines;

namespace {

const std::string kUnwound =
    "<--- Ende: CoDeviceInstall\t Returnwert: Fehlerinfo: StackUnwinding ~MethodTrace: Es ist eine Exception "
    "aufgetreten";

// ---- Every request ----

TEST_F(CoInstallerTest, UnknownRequestIsNamedTracedAndLeftAlone) {
    const DWORD result = CallCoDeviceInstall(0x33, nullptr, nullptr, nullptr);
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), result);

    const std::vector<std::string> texts = CoInstallTexts();
    ASSERT_EQ(6u, texts.size());
    EXPECT_TRUE(IsBeginLine(texts[0])) << texts[0];
    EXPECT_EQ("CoDeviceInstall::InstallFunction <<unbekannt>>", texts[1]);
    EXPECT_EQ("CoDeviceInstall::LogToken <4660>", texts[2]);
    EXPECT_EQ("CoDeviceInstall::Context == NULL", texts[3]);
    EXPECT_EQ("CoDeviceInstall::DeviceInfoData == NULL", texts[4]);
    EXPECT_EQ("<--- Ende: CoDeviceInstall", texts[5]);
    for (const auto& line : TraceLines()) EXPECT_EQ(8, line.level) << line.text;

    ASSERT_EQ(1u, SimJournalCount()) << "only the log token may be read";
    EXPECT_EQ(1u, SimCallCount("SetupGetThreadLogToken"));
    EXPECT_TRUE(TextLog().empty());
}

TEST_F(CoInstallerTest, LogTokenShowsItsLow32BitsAsSignedNumber) {
    SimSetThreadLogToken(0x00000001FFFFFFFEull);
    CallCoDeviceInstall(DIF_SELECTDEVICE, nullptr, nullptr, nullptr);
    EXPECT_TRUE(HasText("CoDeviceInstall::InstallFunction <<DIF_SELECTDEVICE>>"));
    EXPECT_TRUE(HasText("CoDeviceInstall::LogToken <-2>"));
}

TEST_F(CoInstallerTest, ContextLinesShowPreAndPostProcessing) {
    COINSTALLER_CONTEXT_DATA pre = PreContext();
    pre.PrivateData = reinterpret_cast<void*>(static_cast<uintptr_t>(0x1234ABCD));
    CallCoDeviceInstall(DIF_SELECTDEVICE, nullptr, nullptr, &pre);
    EXPECT_TRUE(HasText("CoDeviceInstall::PostProcessing <FALSE>, PrivateData <0x1234abcd>"));

    RecReset();
    COINSTALLER_CONTEXT_DATA post = PostContext(nullptr);
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), CallCoDeviceInstall(DIF_SELECTDEVICE, nullptr, nullptr, &post));
    EXPECT_TRUE(HasText("CoDeviceInstall::PostProcessing <1>, InstallResult <0x00000000>, PrivateData <0x00000000>"));
    EXPECT_TRUE(HasText("CoDeviceInstall::DeviceInfoData == NULL"));
}

TEST_F(CoInstallerTest, FailureOfAnotherComponentIsPassedOnBeforeAnythingElse) {
    COINSTALLER_CONTEXT_DATA post = PostContext(nullptr, 5);
    EXPECT_EQ(5u, CallCoDeviceInstall(DIF_PROPERTYCHANGE, nullptr, nullptr, &post));

    const std::string failed =
        "CoDeviceInstall::In einer anderen Komponente ist ein Fehler aufgetreten. Aufr\xe4umen und Ende der Aktion!";
    EXPECT_EQ(1, LevelOf(failed));
    EXPECT_TRUE(HasText("CoDeviceInstall::PostProcessing <1>, InstallResult <0x00000005>, PrivateData <0x00000000>"));
    EXPECT_FALSE(HasText("CoDeviceInstall::DeviceInfoData == NULL"));
    EXPECT_EQ("<--- Ende: CoDeviceInstall", CoInstallTexts().back());
    EXPECT_EQ(0u, SimCallCount("SetupDiGetClassInstallParamsW"));
}

TEST_F(CoInstallerTest, MissingDeviceDataEndsEveryRequestQuietly) {
    for (DI_FUNCTION request = 0; request <= 0x31; ++request) {
        SimReset();
        RecReset();
        COINSTALLER_CONTEXT_DATA pre = PreContext();
        EXPECT_EQ(static_cast<DWORD>(NO_ERROR), CallCoDeviceInstall(request, nullptr, nullptr, &pre)) << request;
        EXPECT_TRUE(HasText("CoDeviceInstall::DeviceInfoData == NULL")) << request;
        EXPECT_EQ(1u, SimJournalCount()) << "request " << request << " touched SetupAPI";
    }
}

// ---- Disable: remember the child, remove its filter device afterwards ----

TEST_F(CoInstallerTest, DisableRemembersTheChildAndAsksForPostProcessing) {
    ReaderTree tree = AddReader();
    SetPropertyChange(tree.reader, DICS_DISABLE);
    COINSTALLER_CONTEXT_DATA context = PreContext();
    const heap_watch::Counts before = heap_watch::Snapshot();

    EXPECT_EQ(static_cast<DWORD>(ERROR_DI_POSTPROCESSING_REQUIRED),
              CallCoDeviceInstall(DIF_PROPERTYCHANGE, tree.set, &tree.data, &context));

    ASSERT_NE(nullptr, context.PrivateData);
    EXPECT_EQ(1, Outstanding(before)) << "the record is the one block that outlives the call";
    EXPECT_STREQ(harness::kChildId, static_cast<const wchar_t*>(context.PrivateData));
    EXPECT_EQ(8, LevelOf("CoDeviceInstall::Setze DeviceId (Child) <" + harness::Latin1(harness::kChildId) +
                         "> in Context-PrivateData und fordere Postprocessing an"));
    EXPECT_TRUE(TextLog().empty()) << "pre-processing writes no text-log entry";

    // The parameters are dumped as the 20 bytes SetupAPI handed over.
    bool dumped = false;
    for (size_t i = 0; i < RecCallCount(); ++i) {
        RecCall call{};
        RecGetCall(i, &call);
        if (std::string(call.function) != "Dump") continue;
        dumped = true;
        EXPECT_EQ(8, call.level);
        EXPECT_STREQ("TESK.CoInstall.Dump", call.category);
        EXPECT_STREQ("SP_PROPCHANGE_PARAMS", call.title);
        EXPECT_STREQ("pcp", call.name);
        ASSERT_EQ(20u, call.size);
        SP_PROPCHANGE_PARAMS seen{};
        std::memcpy(&seen, call.data, sizeof seen);
        EXPECT_EQ(static_cast<DWORD>(DICS_DISABLE), seen.StateChange);
        EXPECT_EQ(static_cast<DWORD>(DIF_PROPERTYCHANGE), seen.ClassInstallHeader.InstallFunction);
    }
    EXPECT_TRUE(dumped);

    // Post-processing releases the record.
    COINSTALLER_CONTEXT_DATA post = PostContext(context.PrivateData);
    CallCoDeviceInstall(DIF_PROPERTYCHANGE, tree.set, &tree.data, &post);
    EXPECT_EQ(nullptr, post.PrivateData);
}

TEST_F(CoInstallerTest, DisableThenPostProcessingRemovesExactlyTheMatchingFilterDevice) {
    ReaderTree tree = AddReader();
    const DEVINST otherCase = AddFilterDevice(L"SCFILTER\\CID_4b4f5256414e\\7&3A2B1C&0&0");
    const DEVINST unrelated = AddFilterDevice(L"SCFILTER\\CID_0000\\1&1&0&0");
    SetPropertyChange(tree.reader, DICS_DISABLE);
    const heap_watch::Counts before = heap_watch::Snapshot();

    COINSTALLER_CONTEXT_DATA context = PreContext();
    ASSERT_EQ(static_cast<DWORD>(ERROR_DI_POSTPROCESSING_REQUIRED),
              CallCoDeviceInstall(DIF_PROPERTYCHANGE, tree.set, &tree.data, &context));
    RecReset();
    COINSTALLER_CONTEXT_DATA post = PostContext(context.PrivateData);
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), CallCoDeviceInstall(DIF_PROPERTYCHANGE, tree.set, &tree.data, &post));

    EXPECT_FALSE(SimDeviceExists(tree.child));
    EXPECT_TRUE(SimDeviceExists(otherCase)) << "identifiers are compared case-sensitively";
    EXPECT_TRUE(SimDeviceExists(unrelated));
    EXPECT_TRUE(SimDeviceExists(tree.reader));
    EXPECT_EQ(nullptr, post.PrivateData);
    EXPECT_EQ(0, Outstanding(before)) << "the child identifier record must be released";
    EXPECT_EQ(1u, SimSetsOpened());
    EXPECT_EQ(1u, SimSetsDestroyed());

    SimClassDevsCall listing{};
    ASSERT_TRUE(SimGetClassDevsCall(0, &listing));
    EXPECT_TRUE(listing.hasClassGuid);
    EXPECT_TRUE(IsEqualGUID(GUID_DEVCLASS_SMARTCARDFILTER, listing.classGuid));
    EXPECT_EQ(nullptr, listing.enumerator);
    EXPECT_EQ(nullptr, listing.window);
    EXPECT_EQ(static_cast<DWORD>(DIGCF_PROFILE), listing.flags);

    const std::string child = harness::Latin1(harness::kChildId);
    const std::vector<std::string> expected = {
        "CoDeviceInstall::InstallFunction <<DIF_PROPERTYCHANGE>>",
        "CoDeviceInstall::LogToken <4660>",
        "CoDeviceInstall::PostProcessing <1>, InstallResult <0x00000000>, PrivateData <0x" +
            [&] {
                char hex[16];
                std::snprintf(hex, sizeof hex, "%08x",
                              static_cast<unsigned>(reinterpret_cast<uintptr_t>(context.PrivateData)));
                return std::string(hex);
            }() + ">",
        "CoDeviceInstall::DevID aus Context-PrivateData ist <" + child + ">",
        "CoDeviceInstall::Enumeriere ScFilter...",
        "CoDeviceInstall::Aktuelle DeviceID: <" + child + ">",
        "CoDeviceInstall::L\xf6sche dazugeh\xf6rigen ScFilter...",
        "CoDeviceInstall::Dazugeh\xf6riger ScFilter wurde erfolgreich gel\xf6scht",
        "CoDeviceInstall::Aktuelle DeviceID: <SCFILTER\\CID_4b4f5256414e\\7&3A2B1C&0&0>",
        "CoDeviceInstall::Aktuelle DeviceID: <SCFILTER\\CID_0000\\1&1&0&0>",
        "<--- Ende: CoDeviceInstall",
    };
    std::vector<std::string> texts = CoInstallTexts();
    ASSERT_FALSE(texts.empty());
    EXPECT_TRUE(IsBeginLine(texts.front()));
    texts.erase(texts.begin());
    EXPECT_EQ(expected, texts);

    const auto log = TextLog();
    ASSERT_EQ(1u, log.size());
    EXPECT_FALSE(log[0].hasError);
    EXPECT_EQ(static_cast<DWORD>(TXTLOG_INSTALLER), log[0].category);
    EXPECT_EQ(static_cast<DWORD>(TXTLOG_DETAILS), log[0].flags);
    EXPECT_EQ("TeskCoInstaller: Dazugeh\xf6riger ScFilter wurde erfolgreich gel\xf6scht", log[0].message);
}

TEST_F(CoInstallerTest, OnlyADisableActs) {
    for (DWORD state : {static_cast<DWORD>(DICS_ENABLE), static_cast<DWORD>(DICS_PROPCHANGE),
                        static_cast<DWORD>(DICS_START), static_cast<DWORD>(DICS_STOP)}) {
        SimReset();
        ReaderTree tree = AddReader();
        SetPropertyChange(tree.reader, state);
        COINSTALLER_CONTEXT_DATA context = PreContext();
        EXPECT_EQ(static_cast<DWORD>(NO_ERROR), CallCoDeviceInstall(DIF_PROPERTYCHANGE, tree.set, &tree.data, &context));
        EXPECT_EQ(nullptr, context.PrivateData);
        EXPECT_EQ(0u, SimCallCount("CM_Get_Child")) << "state " << state;
    }
}

TEST_F(CoInstallerTest, DisableWithoutContextChangesNothing) {
    ReaderTree tree = AddReader();
    SetPropertyChange(tree.reader, DICS_DISABLE);
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), CallCoDeviceInstall(DIF_PROPERTYCHANGE, tree.set, &tree.data, nullptr));
    EXPECT_EQ(0u, SimCallCount("CM_Get_Child"));
    EXPECT_TRUE(SimDeviceExists(tree.child));
}

TEST_F(CoInstallerTest, ReaderWithoutChildAsksForNothing) {
    ReaderTree tree = AddReader(false);
    SetPropertyChange(tree.reader, DICS_DISABLE);
    COINSTALLER_CONTEXT_DATA context = PreContext();
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), CallCoDeviceInstall(DIF_PROPERTYCHANGE, tree.set, &tree.data, &context));
    EXPECT_EQ(nullptr, context.PrivateData);
    EXPECT_EQ(2, LevelOf("CoDeviceInstall::Child konnte nicht ermittelt werden! ERROR <0x0000000d>"));
    EXPECT_TRUE(TextLog().empty());
}

TEST_F(CoInstallerTest, UnreadableChildIdentifierIsReleasedAndNotStored) {
    ReaderTree tree = AddReader();
    SetPropertyChange(tree.reader, DICS_DISABLE);
    ASSERT_TRUE(SimInjectFailure("CM_Get_Device_IDW", SimFailAlways, 0, CR_REGISTRY_ERROR));
    const heap_watch::Counts before = heap_watch::Snapshot();

    COINSTALLER_CONTEXT_DATA context = PreContext();
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), CallCoDeviceInstall(DIF_PROPERTYCHANGE, tree.set, &tree.data, &context));
    EXPECT_EQ(nullptr, context.PrivateData);
    EXPECT_EQ(2, LevelOf("CoDeviceInstall::DeviceId (Child) konnte nicht ermittelt werden!"));
    EXPECT_EQ(0, Outstanding(before));
    EXPECT_TRUE(TextLog().empty());
}

TEST_F(CoInstallerTest, UnreadableClassInstallParametersAreLoggedWithTheLastError) {
    ReaderTree tree = AddReader();
    SetPropertyChange(tree.reader, DICS_DISABLE);
    ASSERT_TRUE(SimInjectFailure("SetupDiGetClassInstallParamsW", SimFailAlways, 0, ERROR_INVALID_DATA));

    COINSTALLER_CONTEXT_DATA context = PreContext();
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), CallCoDeviceInstall(DIF_PROPERTYCHANGE, tree.set, &tree.data, &context));
    EXPECT_EQ(2, LevelOf("ERROR <0x0000000d> SetupDiGetClassInstallParams!"));
    const auto log = TextLog();
    ASSERT_EQ(1u, log.size());
    EXPECT_TRUE(log[0].hasError);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_DATA), log[0].error);
    EXPECT_EQ(static_cast<DWORD>(TXTLOG_INSTALLER), log[0].category);
    EXPECT_EQ(static_cast<DWORD>(TXTLOG_DETAILS), log[0].flags);
    EXPECT_EQ("TeskCoInstaller: ERROR SetupDiGetClassInstallParams", log[0].message);
    EXPECT_EQ(0u, RecCountOf("Dump"));
}

TEST_F(CoInstallerTest, ParametersOfAnotherSizeAreToleratedAndIgnored) {
    ReaderTree tree = AddReader();
    SetPropertyChange(tree.reader, DICS_DISABLE);
    ASSERT_TRUE(SimSetClassInstallParamsRequiredSize(tree.reader, 24));

    COINSTALLER_CONTEXT_DATA context = PreContext();
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), CallCoDeviceInstall(DIF_PROPERTYCHANGE, tree.set, &tree.data, &context));
    EXPECT_EQ(4, LevelOf("CoDeviceInstall::dwSizeRequiredForPcp <24> != sizeof(pcp) <20>"));
    EXPECT_EQ(1u, RecCountOf("Dump")) << "the parameters are dumped before the size is checked";
    EXPECT_EQ(0u, SimCallCount("CM_Get_Child"));
    EXPECT_EQ(nullptr, context.PrivateData);
}

TEST_F(CoInstallerTest, NoFilterDeviceAtAll) {
    ReaderTree tree = AddReader();
    SetPropertyChange(tree.reader, DICS_DISABLE);
    COINSTALLER_CONTEXT_DATA context = PreContext();
    ASSERT_EQ(static_cast<DWORD>(ERROR_DI_POSTPROCESSING_REQUIRED),
              CallCoDeviceInstall(DIF_PROPERTYCHANGE, tree.set, &tree.data, &context));
    // The filter device disappears with the disable itself before post-processing runs.
    SimReset();
    tree = AddReader(false);
    SetPropertyChange(tree.reader, DICS_DISABLE);
    RecReset();

    COINSTALLER_CONTEXT_DATA post = PostContext(context.PrivateData);
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), CallCoDeviceInstall(DIF_PROPERTYCHANGE, tree.set, &tree.data, &post));
    EXPECT_FALSE(HasText("CoDeviceInstall::Enumeriere ScFilter..."));
    EXPECT_TRUE(HasText("CoDeviceInstall::DevID aus Context-PrivateData ist <" + harness::Latin1(harness::kChildId) + ">"));
    EXPECT_EQ(nullptr, post.PrivateData);
    EXPECT_EQ(1u, SimSetsOpened());
    EXPECT_EQ(0u, SimSetsOpen());
}

TEST_F(CoInstallerTest, FilterClassThatCannotBeListedStillReleasesTheRecord) {
    ReaderTree tree = AddReader();
    SetPropertyChange(tree.reader, DICS_DISABLE);
    const heap_watch::Counts before = heap_watch::Snapshot();
    COINSTALLER_CONTEXT_DATA context = PreContext();
    CallCoDeviceInstall(DIF_PROPERTYCHANGE, tree.set, &tree.data, &context);
    ASSERT_TRUE(SimInjectFailure("SetupDiGetClassDevsW", SimFailAlways, 0, ERROR_INVALID_PARAMETER));

    COINSTALLER_CONTEXT_DATA post = PostContext(context.PrivateData);
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), CallCoDeviceInstall(DIF_PROPERTYCHANGE, tree.set, &tree.data, &post));
    EXPECT_EQ(2, LevelOf("CoDeviceInstall::ERROR <0x00000057> SetupDiGetClassDevs <SmartcardFilter>"));
    const auto log = TextLog();
    ASSERT_EQ(1u, log.size());
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), log[0].error);
    EXPECT_EQ("TeskCoInstaller: ERROR SetupDiGetClassDevs <SmartcardFilter>", log[0].message);
    EXPECT_EQ(nullptr, post.PrivateData);
    EXPECT_EQ(0, Outstanding(before));
    EXPECT_TRUE(SimDeviceExists(tree.child));
}

TEST_F(CoInstallerTest, FailedRemovalIsLoggedAndTheWalkGoesOn) {
    ReaderTree tree = AddReader();
    const DEVINST later = AddFilterDevice(L"SCFILTER\\CID_FFFF\\9&9&0&0");
    SetPropertyChange(tree.reader, DICS_DISABLE);
    COINSTALLER_CONTEXT_DATA context = PreContext();
    CallCoDeviceInstall(DIF_PROPERTYCHANGE, tree.set, &tree.data, &context);
    ASSERT_TRUE(SimInjectFailure("SetupDiRemoveDevice", SimFailAlways, 0, ERROR_ACCESS_DENIED));
    RecReset();

    COINSTALLER_CONTEXT_DATA post = PostContext(context.PrivateData);
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), CallCoDeviceInstall(DIF_PROPERTYCHANGE, tree.set, &tree.data, &post));
    EXPECT_EQ(2, LevelOf("CoDeviceInstall::ERROR <0x00000005> SetupDiRemoveDevice"));
    EXPECT_TRUE(HasText("CoDeviceInstall::Aktuelle DeviceID: <SCFILTER\\CID_FFFF\\9&9&0&0>"));
    EXPECT_FALSE(HasText("CoDeviceInstall::Dazugeh\xf6riger ScFilter wurde erfolgreich gel\xf6scht"));
    EXPECT_TRUE(SimDeviceExists(tree.child));
    EXPECT_TRUE(SimDeviceExists(later));
    const auto log = TextLog();
    ASSERT_EQ(1u, log.size());
    EXPECT_TRUE(log[0].hasError);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), log[0].error);
    EXPECT_EQ("TeskCoInstaller: ERROR SetupDiRemoveDevice", log[0].message);
    EXPECT_EQ(0u, SimSetsOpen());
}

TEST_F(CoInstallerTest, FilterDeviceWithUnreadableIdentifierIsSkipped) {
    const DEVINST first = AddFilterDevice(L"SCFILTER\\CID_AAAA\\1&1&0&0");
    ReaderTree tree = AddReader();
    SetPropertyChange(tree.reader, DICS_DISABLE);
    COINSTALLER_CONTEXT_DATA context = PreContext();
    CallCoDeviceInstall(DIF_PROPERTYCHANGE, tree.set, &tree.data, &context);
    // The first identifier read of the walk fails; the matching device comes later.
    ASSERT_TRUE(SimInjectFailure("CM_Get_Device_IDW", SimFailNth, 1, CR_NO_SUCH_VALUE));
    RecReset();

    COINSTALLER_CONTEXT_DATA post = PostContext(context.PrivateData);
    CallCoDeviceInstall(DIF_PROPERTYCHANGE, tree.set, &tree.data, &post);
    EXPECT_EQ(2, LevelOf("CoDeviceInstall::ERROR <0x00000025> CM_Get_Device_ID"));
    EXPECT_TRUE(HasText("CoDeviceInstall::Enumeriere ScFilter..."));
    EXPECT_TRUE(SimDeviceExists(first));
    EXPECT_FALSE(SimDeviceExists(tree.child));
}

TEST_F(CoInstallerTest, EveryPostProcessingPathReleasesTheRecord) {
    struct Case {
        const char* name;
        DWORD installResult;
        BOOL postProcessing;
        bool withDeviceData;
        DWORD stateChange;
        bool paramsReadable;
    };
    const Case cases[] = {
        {"other component failed", ERROR_GEN_FAILURE, TRUE, true, DICS_DISABLE, true},
        {"no device data", NO_ERROR, TRUE, false, DICS_DISABLE, true},
        {"parameters unreadable", NO_ERROR, TRUE, true, DICS_DISABLE, false},
        {"no longer a disable", NO_ERROR, TRUE, true, DICS_ENABLE, true},
        {"PostProcessing neither FALSE nor TRUE", NO_ERROR, 2, true, DICS_DISABLE, true},
    };
    for (const Case& c : cases) {
        SimReset();
        ReaderTree tree = AddReader();
        SetPropertyChange(tree.reader, DICS_DISABLE);
        const heap_watch::Counts before = heap_watch::Snapshot();
        COINSTALLER_CONTEXT_DATA context = PreContext();
        ASSERT_EQ(static_cast<DWORD>(ERROR_DI_POSTPROCESSING_REQUIRED),
                  CallCoDeviceInstall(DIF_PROPERTYCHANGE, tree.set, &tree.data, &context));

        SetPropertyChange(tree.reader, c.stateChange);
        if (!c.paramsReadable) SimInjectFailure("SetupDiGetClassInstallParamsW", SimFailAlways, 0, ERROR_NO_CLASSINSTALL_PARAMS);
        COINSTALLER_CONTEXT_DATA post = PostContext(context.PrivateData, c.installResult);
        post.PostProcessing = c.postProcessing;
        const DWORD result =
            CallCoDeviceInstall(DIF_PROPERTYCHANGE, tree.set, c.withDeviceData ? &tree.data : nullptr, &post);

        EXPECT_EQ(c.installResult, result) << c.name;
        EXPECT_EQ(nullptr, post.PrivateData) << c.name;
        EXPECT_EQ(0, Outstanding(before)) << c.name;
        EXPECT_TRUE(SimDeviceExists(tree.child)) << c.name;
        EXPECT_EQ(0u, SimSetsOpened()) << c.name;
    }
}

// ---- Remove: log the device, and in detail its parent and child ----

TEST_F(CoInstallerTest, RemoveAtDetailLevelLogsDeviceParentAndChild) {
    RecSetCategoryLevel("TESK.CoInstall", 16);
    ReaderTree tree = AddReader();
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), CallCoDeviceInstall(DIF_REMOVE, tree.set, &tree.data, nullptr));
    EXPECT_EQ(8, LevelOf("CoDeviceInstall::DeviceId <" + harness::Latin1(harness::kReaderId) + ">"));
    EXPECT_EQ(8, LevelOf("CoDeviceInstall::DeviceId (Parent) <" + harness::Latin1(harness::kHubId) + ">"));
    EXPECT_EQ(8, LevelOf("CoDeviceInstall::DeviceId (Child) <" + harness::Latin1(harness::kChildId) + ">"));
    EXPECT_TRUE(TextLog().empty());
    EXPECT_TRUE(SimDeviceExists(tree.child)) << "remove only logs";
}

TEST_F(CoInstallerTest, RemoveBelowInfoLevelDoesNotLookAtParentOrChild) {
    RecSetCategoryLevel("TESK.CoInstall", 4);
    ReaderTree tree = AddReader();
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), CallCoDeviceInstall(DIF_REMOVE, tree.set, &tree.data, nullptr));
    EXPECT_TRUE(HasText("CoDeviceInstall::DeviceId <" + harness::Latin1(harness::kReaderId) + ">"));
    EXPECT_EQ(0u, SimCallCount("CM_Get_Parent"));
    EXPECT_EQ(0u, SimCallCount("CM_Get_Child"));
    EXPECT_EQ(1u, RecCountOf("GetLevel"));
}

TEST_F(CoInstallerTest, RemoveFailuresAreEachLoggedWithTheirCode) {
    RecSetCategoryLevel("TESK.CoInstall", 8);
    ReaderTree tree = AddReader();
    SimInjectFailure("CM_Get_Device_IDW", SimFailAlways, 0, CR_NO_SUCH_VALUE);
    CallCoDeviceInstall(DIF_REMOVE, tree.set, &tree.data, nullptr);
    EXPECT_EQ(2, LevelOf("CoDeviceInstall::DeviceId konnte nicht ermittelt werden!"));
    EXPECT_EQ(2, LevelOf("CoDeviceInstall::DeviceId (Parent) konnte nicht ermittelt werden!"));
    EXPECT_EQ(2, LevelOf("CoDeviceInstall::DeviceId (Child) konnte nicht ermittelt werden!"));
    std::vector<std::string> messages;
    for (const auto& entry : TextLog()) {
        EXPECT_TRUE(entry.hasError);
        EXPECT_EQ(static_cast<DWORD>(CR_NO_SUCH_VALUE), entry.error);
        messages.push_back(entry.message);
    }
    EXPECT_EQ((std::vector<std::string>{"TeskCoInstaller: ERROR DeviceId konnte nicht ermittelt werden",
                                        "TeskCoInstaller: ERROR DeviceId (Parent) konnte nicht ermittelt werden",
                                        "TeskCoInstaller: ERROR DeviceId (Child) konnte nicht ermittelt werden"}),
              messages);

    SimClearFailures();
    RecReset();
    RecSetCategoryLevel("TESK.CoInstall", 8);
    SimInjectFailure("CM_Get_Parent", SimFailAlways, 0, CR_FAILURE);
    SimInjectFailure("CM_Get_Child", SimFailAlways, 0, CR_NO_SUCH_DEVNODE);
    const size_t logBefore = TextLog().size();
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), CallCoDeviceInstall(DIF_REMOVE, tree.set, &tree.data, nullptr));
    EXPECT_EQ(2, LevelOf("CoDeviceInstall::Parent konnte nicht ermittelt werden! ERROR <0x00000013>"));
    EXPECT_EQ(2, LevelOf("CoDeviceInstall::Child konnte nicht ermittelt werden! ERROR <0x0000000d>"));
    const auto log = TextLog();
    ASSERT_EQ(logBefore + 2, log.size());
    EXPECT_EQ("TeskCoInstaller: ERROR Parent konnte nicht ermittelt werden", log[logBefore].message);
    EXPECT_EQ(static_cast<DWORD>(CR_FAILURE), log[logBefore].error);
    EXPECT_EQ("TeskCoInstaller: ERROR Child konnte nicht ermittelt werden", log[logBefore + 1].message);
    EXPECT_EQ(static_cast<DWORD>(CR_NO_SUCH_DEVNODE), log[logBefore + 1].error);
}

// ---- Install device: installed disabled ----

TEST_F(CoInstallerTest, InstallDeviceReplacesTheParametersWithInstallDisabled) {
    ReaderTree tree = AddReader();
    SP_DEVINSTALL_PARAMS_W before{};
    before.cbSize = sizeof before;
    before.Flags = 0xFFFFFFFF;
    before.FlagsEx = 0x12345678;
    before.hwndParent = reinterpret_cast<HWND>(0x1000);
    wcscpy_s(before.DriverPath, L"C:\\Drivers");
    ASSERT_TRUE(SimSetDeviceInstallParams(tree.reader, &before));

    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), CallCoDeviceInstall(DIF_INSTALLDEVICE, tree.set, &tree.data, nullptr));

    SP_DEVINSTALL_PARAMS_W after{};
    ASSERT_TRUE(SimGetDeviceInstallParams(tree.reader, &after));
    EXPECT_EQ(static_cast<DWORD>(sizeof(SP_DEVINSTALL_PARAMS_W)), after.cbSize);
    EXPECT_EQ(static_cast<DWORD>(DI_INSTALLDISABLED), after.Flags);
    EXPECT_EQ(0u, after.FlagsEx);
    EXPECT_EQ(nullptr, after.hwndParent);
    EXPECT_EQ(L'\0', after.DriverPath[0]);
    EXPECT_EQ(0u, SimCallCount("SetupDiGetDeviceInstallParamsW")) << "the current parameters are not read";

    EXPECT_EQ(8, LevelOf("Parameter <DI_INSTALLDISABLED> wurde gesetzt"));
    const auto log = TextLog();
    ASSERT_EQ(1u, log.size());
    EXPECT_FALSE(log[0].hasError);
    EXPECT_EQ("TeskCoInstaller: Parameter <DI_INSTALLDISABLED> wurde gesetzt", log[0].message);
}

TEST_F(CoInstallerTest, InstallDeviceFailureIsLoggedAndDoesNotFailTheInstallation) {
    ReaderTree tree = AddReader();
    SimInjectFailure("SetupDiSetDeviceInstallParamsW", SimFailAlways, 0, ERROR_INVALID_FLAGS);
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), CallCoDeviceInstall(DIF_INSTALLDEVICE, tree.set, &tree.data, nullptr));
    EXPECT_EQ(2, LevelOf("ERROR <0x000003ec> SetupDiSetDeviceInstallParams!"));
    const auto log = TextLog();
    ASSERT_EQ(1u, log.size());
    EXPECT_TRUE(log[0].hasError);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FLAGS), log[0].error);
    EXPECT_EQ("TeskCoInstaller: ERROR SetupDiSetDeviceInstallParams", log[0].message);
}

// ---- Nothing escapes into SetupAPI ----

TEST_F(CoInstallerTest, AllocationFailureOfTheChildRecordUnwindsTheScopeAndReturnsNoError) {
    ReaderTree tree = AddReader();
    SetPropertyChange(tree.reader, DICS_DISABLE);
    RecSetCategoryLevel("TESK.CoInstall", 8);
    heap_watch::FailNextAllocationOfSize(MAX_DEVICE_ID_LEN * sizeof(wchar_t));
    const heap_watch::Counts before = heap_watch::Snapshot();

    COINSTALLER_CONTEXT_DATA context = PreContext();
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), CallCoDeviceInstall(DIF_PROPERTYCHANGE, tree.set, &tree.data, &context));
    EXPECT_EQ(nullptr, context.PrivateData);
    EXPECT_EQ(1, LevelOf(kUnwound));
    EXPECT_EQ(kUnwound, CoInstallTexts().back());
    EXPECT_EQ(0, Outstanding(before));
}

TEST_F(CoInstallerTest, AnIgnoredRequestWithTracingOffAllocatesNothing) {
    RecSetShouldTraceAnswer(0);
    RecSetDefaultLevel(0);
    ReaderTree tree = AddReader();
    const heap_watch::Counts before = heap_watch::Snapshot();
    for (int i = 0; i < 100; ++i) CallCoDeviceInstall(DIF_SELECTBESTCOMPATDRV, tree.set, &tree.data, nullptr);
    const heap_watch::Counts after = heap_watch::Snapshot();
    EXPECT_EQ(before.allocations, after.allocations);
    EXPECT_EQ(0u, RecCountOf("Write"));
}

}  // namespace

namespace {

// Every SetupAPI and configuration-manager call the module makes, failing in turn on every call:
// the installation is never failed by the module, nothing leaks, and no set stays open.
TEST_F(CoInstallerTest, EachPlatformCallFailingInTurnNeverFailsTheInstallation) {
    const char* const calls[] = {
        "SetupGetThreadLogToken",     "SetupWriteTextLog",    "SetupWriteTextLogError",
        "SetupDiGetClassInstallParamsW", "SetupDiGetClassDevsW", "SetupDiEnumDeviceInfo",
        "SetupDiRemoveDevice",        "SetupDiDestroyDeviceInfoList", "SetupDiSetDeviceInstallParamsW",
        "CM_Get_Child",               "CM_Get_Parent",        "CM_Get_Device_IDW",
    };
    for (const char* failing : calls) {
        SimReset();
        RecReset();
        ReaderTree tree = AddReader();
        SetPropertyChange(tree.reader, DICS_DISABLE);
        ASSERT_TRUE(SimInjectFailure(failing, SimFailAlways, 0, ERROR_GEN_FAILURE)) << failing;
        const heap_watch::Counts before = heap_watch::Snapshot();

        COINSTALLER_CONTEXT_DATA context = PreContext();
        const DWORD pre = CallCoDeviceInstall(DIF_PROPERTYCHANGE, tree.set, &tree.data, &context);
        EXPECT_TRUE(pre == NO_ERROR || pre == ERROR_DI_POSTPROCESSING_REQUIRED) << failing;
        EXPECT_EQ(pre == ERROR_DI_POSTPROCESSING_REQUIRED, context.PrivateData != nullptr) << failing;
        context.PostProcessing = TRUE;
        EXPECT_EQ(static_cast<DWORD>(NO_ERROR), CallCoDeviceInstall(DIF_PROPERTYCHANGE, tree.set, &tree.data, &context))
            << failing;
        EXPECT_EQ(nullptr, context.PrivateData) << failing;
        EXPECT_EQ(static_cast<DWORD>(NO_ERROR), CallCoDeviceInstall(DIF_REMOVE, tree.set, &tree.data, nullptr))
            << failing;
        EXPECT_EQ(static_cast<DWORD>(NO_ERROR), CallCoDeviceInstall(DIF_INSTALLDEVICE, tree.set, &tree.data, nullptr))
            << failing;

        EXPECT_EQ(0, Outstanding(before)) << failing;
        EXPECT_EQ(SimSetsOpened(), SimCallCount("SetupDiDestroyDeviceInfoList")) << failing;
        EXPECT_GT(SimCallCount(failing), 0u) << failing << " was never called";
        EXPECT_TRUE(SimDeviceExists(tree.reader)) << failing;
    }
}

}  // namespace
