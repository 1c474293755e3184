// The simulated device tree, device information sets and per-device parameters, checked with
// the error codes and output-buffer behaviour Windows shows.
#include "tests/doubles/sim_fixture.h"

#include <cstring>
#include <vector>

namespace {

using simtest::kReaderClass;
using simtest::DevInfoData;
using simtest::DevInstallParams;
using simtest::SimTest;

constexpr DEVINST kSentinelDevInst = 0xdeadbeef;

class DeviceTree : public SimTest {};

TEST_F(DeviceTree, ChildAndParentFollowTheTree) {
    const DEVINST reader = SimAddDevice(L"USB\\VID_1234&PID_0001\\7", 0, &kReaderClass);
    const DEVINST first = SimAddDevice(L"TESK\\FILTER\\1", reader, &GUID_DEVCLASS_SMARTCARDFILTER);
    const DEVINST second = SimAddDevice(L"TESK\\FILTER\\2", reader, &GUID_DEVCLASS_SMARTCARDFILTER);
    ASSERT_NE(0u, reader);
    ASSERT_NE(0u, first);
    ASSERT_NE(0u, second);
    EXPECT_GT(reader, 0x1000u);

    DEVINST out = kSentinelDevInst;
    EXPECT_EQ(CR_SUCCESS, CM_Get_Child(&out, reader, 0));
    EXPECT_EQ(first, out);
    out = kSentinelDevInst;
    EXPECT_EQ(CR_SUCCESS, CM_Get_Parent(&out, second, 0));
    EXPECT_EQ(reader, out);
}

TEST_F(DeviceTree, MissingRelativesAndUnknownNodes) {
    const DEVINST reader = SimAddDevice(L"USB\\READER\\1", 0, &kReaderClass);
    DEVINST out = kSentinelDevInst;
    EXPECT_EQ(CR_NO_SUCH_DEVNODE, CM_Get_Child(&out, reader, 0));
    EXPECT_EQ(static_cast<DEVINST>(-1), out);
    out = kSentinelDevInst;
    EXPECT_EQ(CR_NO_SUCH_DEVNODE, CM_Get_Parent(&out, reader, 0));
    EXPECT_EQ(static_cast<DEVINST>(-1), out);

    out = kSentinelDevInst;
    EXPECT_EQ(CR_INVALID_DEVNODE, CM_Get_Child(&out, reader + 1, 0));
    EXPECT_EQ(static_cast<DEVINST>(-1), out);
    out = kSentinelDevInst;
    EXPECT_EQ(CR_INVALID_DEVNODE, CM_Get_Parent(&out, 0, 0));
    EXPECT_EQ(kSentinelDevInst, out);
}

TEST_F(DeviceTree, InvalidArgumentsLeaveTheOutputAlone) {
    const DEVINST reader = SimAddDevice(L"USB\\READER\\1", 0, &kReaderClass);
    SimAddDevice(L"TESK\\FILTER\\1", reader, &GUID_DEVCLASS_SMARTCARDFILTER);
    EXPECT_EQ(CR_INVALID_POINTER, CM_Get_Child(nullptr, reader, 0));
    EXPECT_EQ(CR_INVALID_POINTER, CM_Get_Parent(nullptr, reader, 0));
    DEVINST out = kSentinelDevInst;
    EXPECT_EQ(CR_INVALID_FLAG, CM_Get_Child(&out, reader, 1));
    EXPECT_EQ(kSentinelDevInst, out);
}

TEST_F(DeviceTree, DeviceIdCopiesIdAndTerminator) {
    const wchar_t id[] = L"TESK\\R\u00f6der\\1";  // 14 characters
    const DEVINST dev = SimAddDevice(id, 0, &kReaderClass);
    WCHAR buffer[32];
    std::fill(std::begin(buffer), std::end(buffer), WCHAR(0xcccc));
    EXPECT_EQ(CR_SUCCESS, CM_Get_Device_IDW(dev, buffer, 15, 0));
    EXPECT_EQ(0, std::memcmp(id, buffer, sizeof id));
    EXPECT_EQ(WCHAR(0xcccc), buffer[15]);
}

TEST_F(DeviceTree, DeviceIdTooSmallBufferCopiesWhatFitsWithoutTerminator) {
    const DEVINST dev = SimAddDevice(L"ABCDEFGHIJKLMN", 0, &kReaderClass);  // 14 characters
    WCHAR buffer[32];
    std::fill(std::begin(buffer), std::end(buffer), WCHAR(0xcccc));
    EXPECT_EQ(CR_BUFFER_SMALL, CM_Get_Device_IDW(dev, buffer, 14, 0));
    EXPECT_EQ(0, std::memcmp(L"ABCDEFGHIJKLMN", buffer, 14 * sizeof(WCHAR)));
    EXPECT_EQ(WCHAR(0xcccc), buffer[14]);

    std::fill(std::begin(buffer), std::end(buffer), WCHAR(0xcccc));
    EXPECT_EQ(CR_BUFFER_SMALL, CM_Get_Device_IDW(dev, buffer, 3, 0));
    EXPECT_EQ(0, std::memcmp(L"ABC", buffer, 3 * sizeof(WCHAR)));
    EXPECT_EQ(WCHAR(0xcccc), buffer[3]);

    EXPECT_EQ(CR_BUFFER_SMALL, CM_Get_Device_IDW(dev, buffer, 0, 0));
}

TEST_F(DeviceTree, DeviceIdRejectsBadArguments) {
    const DEVINST dev = SimAddDevice(L"ROOT\\X\\0", 0, &kReaderClass);
    WCHAR buffer[MAX_DEVICE_ID_LEN];
    std::fill(std::begin(buffer), std::end(buffer), WCHAR(0xcccc));
    EXPECT_EQ(CR_INVALID_POINTER, CM_Get_Device_IDW(dev, nullptr, MAX_DEVICE_ID_LEN, 0));
    EXPECT_EQ(CR_INVALID_DEVNODE, CM_Get_Device_IDW(dev + 7, buffer, MAX_DEVICE_ID_LEN, 0));
    EXPECT_EQ(CR_INVALID_DEVNODE, CM_Get_Device_IDW(0, buffer, MAX_DEVICE_ID_LEN, 0));
    EXPECT_EQ(CR_INVALID_FLAG, CM_Get_Device_IDW(dev, buffer, MAX_DEVICE_ID_LEN, 1));
    EXPECT_EQ(WCHAR(0xcccc), buffer[0]);
}

TEST_F(DeviceTree, AddDeviceRejectsWhatWindowsCouldNotHold) {
    const DEVINST dev = SimAddDevice(L"ROOT\\X\\0", 0, &kReaderClass);
    ASSERT_NE(0u, dev);
    EXPECT_EQ(0u, SimAddDevice(L"ROOT\\X\\0", 0, &kReaderClass));
    EXPECT_NE(0u, SimAddDevice(L"root\\x\\0", 0, &kReaderClass)) << "case variants are distinct nodes here";
    EXPECT_EQ(0u, SimAddDevice(L"ROOT\\Y\\0", dev + 100, &kReaderClass));
    EXPECT_EQ(0u, SimAddDevice(L"ROOT\\Y\\0", 0, nullptr));
    EXPECT_EQ(0u, SimAddDevice(L"", 0, &kReaderClass));
    EXPECT_EQ(0u, SimAddDevice(nullptr, 0, &kReaderClass));
    EXPECT_EQ(0u, SimAddDevice(std::wstring(MAX_DEVICE_ID_LEN, L'A').c_str(), 0, &kReaderClass));
    const DEVINST longest = SimAddDevice(std::wstring(MAX_DEVICE_ID_LEN - 1, L'A').c_str(), 0, &kReaderClass);
    ASSERT_NE(0u, longest);
    WCHAR buffer[MAX_DEVICE_ID_LEN];
    EXPECT_EQ(CR_SUCCESS, CM_Get_Device_IDW(longest, buffer, MAX_DEVICE_ID_LEN, 0));
    EXPECT_EQ(3u, SimDeviceCount());
}

TEST_F(DeviceTree, DuplicateIdIsAcceptedOnlyWhenAskedFor) {
    const DEVINST live = SimAddDevice(L"SCFILTER\\CID_1\\0", 0, &GUID_DEVCLASS_SMARTCARDFILTER);
    ASSERT_NE(0u, live);
    const DEVINST stale = SimAddDeviceDuplicateId(L"SCFILTER\\CID_1\\0", live, &GUID_DEVCLASS_SMARTCARDFILTER);
    ASSERT_NE(0u, stale);
    EXPECT_NE(live, stale);
    WCHAR buffer[MAX_DEVICE_ID_LEN];
    ASSERT_EQ(CR_SUCCESS, CM_Get_Device_IDW(stale, buffer, MAX_DEVICE_ID_LEN, 0));
    EXPECT_STREQ(L"SCFILTER\\CID_1\\0", buffer);
    DEVINST child = 0;
    EXPECT_EQ(CR_SUCCESS, CM_Get_Child(&child, live, 0));
    EXPECT_EQ(stale, child);
    EXPECT_EQ(0u, SimAddDevice(L"SCFILTER\\CID_1\\0", 0, &GUID_DEVCLASS_SMARTCARDFILTER)) << "the plain add still refuses it";
    EXPECT_EQ(0u, SimAddDeviceDuplicateId(L"SCFILTER\\CID_2\\0", live + 100, &GUID_DEVCLASS_SMARTCARDFILTER));
    EXPECT_EQ(0u, SimAddDeviceDuplicateId(L"", 0, &GUID_DEVCLASS_SMARTCARDFILTER));
    EXPECT_EQ(0u, SimAddDeviceDuplicateId(L"SCFILTER\\CID_1\\0", 0, nullptr));
    EXPECT_EQ(2u, SimDeviceCount());
}

class DeviceSets : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        reader_ = SimAddDevice(L"USB\\READER\\1", 0, &kReaderClass);
        filterA_ = SimAddDevice(L"TESK\\FILTER\\A", reader_, &GUID_DEVCLASS_SMARTCARDFILTER);
        other_ = SimAddDevice(L"USB\\READER\\2", 0, &kReaderClass);
        filterB_ = SimAddDevice(L"TESK\\FILTER\\B", other_, &GUID_DEVCLASS_SMARTCARDFILTER);
        ASSERT_NE(0u, filterB_);
    }

    static std::vector<DEVINST> Members(HDEVINFO set) {
        std::vector<DEVINST> members;
        SP_DEVINFO_DATA data = DevInfoData();
        for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &data); ++i) members.push_back(data.DevInst);
        return members;
    }

    DEVINST reader_ = 0, filterA_ = 0, other_ = 0, filterB_ = 0;
};

TEST_F(DeviceSets, ClassListingHoldsTheClassInCreationOrder) {
    const HWND window = reinterpret_cast<HWND>(0x1234);
    SetLastError(0xdeadbeef);
    HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVCLASS_SMARTCARDFILTER, nullptr, window, DIGCF_PROFILE);
    ASSERT_NE(INVALID_HANDLE_VALUE, set);
    EXPECT_EQ(std::vector<DEVINST>({filterA_, filterB_}), Members(set));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_ITEMS), GetLastError());

    ASSERT_EQ(1u, SimClassDevsCallCount());
    SimClassDevsCall call = {};
    ASSERT_TRUE(SimGetClassDevsCall(0, &call));
    EXPECT_TRUE(call.hasClassGuid);
    EXPECT_TRUE(IsEqualGUID(GUID_DEVCLASS_SMARTCARDFILTER, call.classGuid));
    EXPECT_EQ(nullptr, call.enumerator);
    EXPECT_EQ(window, call.window);
    EXPECT_EQ(static_cast<DWORD>(DIGCF_PROFILE), call.flags);
    EXPECT_EQ(set, call.result);
    EXPECT_FALSE(SimGetClassDevsCall(1, &call));
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
}

TEST_F(DeviceSets, EnumeratorAndAllClassesSelectMembers) {
    HDEVINFO byEnumerator = SetupDiGetClassDevsW(&kReaderClass, L"usb", nullptr, 0);
    EXPECT_EQ(std::vector<DEVINST>({reader_, other_}), Members(byEnumerator));
    HDEVINFO none = SetupDiGetClassDevsW(&kReaderClass, L"TESK", nullptr, 0);
    EXPECT_TRUE(Members(none).empty());
    HDEVINFO all = SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT);
    EXPECT_EQ(std::vector<DEVINST>({reader_, filterA_, other_, filterB_}), Members(all));

    SimClassDevsCall call = {};
    ASSERT_TRUE(SimGetClassDevsCall(0, &call));
    EXPECT_STREQ(L"usb", call.enumerator);
    ASSERT_TRUE(SimGetClassDevsCall(2, &call));
    EXPECT_FALSE(call.hasClassGuid);
    for (HDEVINFO set : {byEnumerator, none, all}) EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
}

TEST_F(DeviceSets, ClassListingRejectsBadArguments) {
    SetLastError(0xdeadbeef);
    EXPECT_EQ(INVALID_HANDLE_VALUE, SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_PRESENT));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    SetLastError(0xdeadbeef);
    EXPECT_EQ(INVALID_HANDLE_VALUE, SetupDiGetClassDevsW(&kReaderClass, nullptr, nullptr, 0x100));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FLAGS), GetLastError());
    EXPECT_EQ(0u, SimSetsOpened());
    SimClassDevsCall call = {};
    ASSERT_TRUE(SimGetClassDevsCall(1, &call));
    EXPECT_EQ(INVALID_HANDLE_VALUE, call.result);
    EXPECT_EQ(0x100u, call.flags);
}

TEST_F(DeviceSets, SetsAreCountedAndHandlesCheckedAfterDestruction) {
    HDEVINFO first = SetupDiGetClassDevsW(&GUID_DEVCLASS_SMARTCARDFILTER, nullptr, nullptr, DIGCF_PROFILE);
    HDEVINFO second = SetupDiGetClassDevsW(&kReaderClass, nullptr, nullptr, DIGCF_PROFILE);
    ASSERT_NE(first, second);
    EXPECT_EQ(2u, SimSetsOpened());
    EXPECT_EQ(2u, SimSetsOpen());

    SetLastError(0xdeadbeef);
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(first));
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), GetLastError());
    EXPECT_EQ(1u, SimSetsDestroyed());
    EXPECT_EQ(1u, SimSetsOpen());
    EXPECT_FALSE(SimIsDeviceInfoSetValid(first));
    EXPECT_TRUE(SimIsDeviceInfoSetValid(second));

    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetupDiDestroyDeviceInfoList(first));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    SP_DEVINFO_DATA data = DevInfoData();
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetupDiEnumDeviceInfo(first, 0, &data));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetupDiDestroyDeviceInfoList(INVALID_HANDLE_VALUE));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(1u, SimSetsDestroyed());

    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(second));
    EXPECT_EQ(0u, SimSetsOpen());
}

TEST_F(DeviceSets, EnumerationChecksSizeAndEnd) {
    HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVCLASS_SMARTCARDFILTER, nullptr, nullptr, DIGCF_PROFILE);
    SP_DEVINFO_DATA data = {};
    for (DWORD size : {DWORD(sizeof data - 1), DWORD(sizeof data + 1), DWORD(0)}) {
        data.cbSize = size;
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(SetupDiEnumDeviceInfo(set, 0, &data));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_USER_BUFFER), GetLastError()) << size;
    }
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetupDiEnumDeviceInfo(set, 0, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());

    data.cbSize = sizeof data;
    SetLastError(0xdeadbeef);
    ASSERT_TRUE(SetupDiEnumDeviceInfo(set, 1, &data));
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), GetLastError());
    EXPECT_EQ(filterB_, data.DevInst);
    EXPECT_TRUE(IsEqualGUID(GUID_DEVCLASS_SMARTCARDFILTER, data.ClassGuid));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetupDiEnumDeviceInfo(set, 2, &data));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_ITEMS), GetLastError());
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
}

TEST_F(DeviceSets, RemovalTakesTheNodeOutOfTreeAndLaterListings) {
    HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVCLASS_SMARTCARDFILTER, nullptr, nullptr, DIGCF_PROFILE);
    SP_DEVINFO_DATA data = DevInfoData();
    ASSERT_TRUE(SetupDiEnumDeviceInfo(set, 0, &data));
    ASSERT_EQ(filterA_, data.DevInst);
    SetLastError(0xdeadbeef);
    EXPECT_TRUE(SetupDiRemoveDevice(set, &data));
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), GetLastError());

    EXPECT_FALSE(SimDeviceExists(filterA_));
    DEVINST out = 0;
    EXPECT_EQ(CR_NO_SUCH_DEVNODE, CM_Get_Child(&out, reader_, 0));
    WCHAR buffer[MAX_DEVICE_ID_LEN];
    EXPECT_EQ(CR_INVALID_DEVNODE, CM_Get_Device_IDW(filterA_, buffer, MAX_DEVICE_ID_LEN, 0));

    // The set is a snapshot: the walk still sees both elements at their indexes.
    EXPECT_EQ(std::vector<DEVINST>({filterA_, filterB_}), Members(set));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetupDiRemoveDevice(set, &data));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_SUCH_DEVINST), GetLastError());

    HDEVINFO later = SetupDiGetClassDevsW(&GUID_DEVCLASS_SMARTCARDFILTER, nullptr, nullptr, DIGCF_PROFILE);
    EXPECT_EQ(std::vector<DEVINST>({filterB_}), Members(later));
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(later));
}

TEST_F(DeviceSets, RemovingAParentRemovesItsSubtree) {
    HDEVINFO readers = SetupDiGetClassDevsW(&kReaderClass, nullptr, nullptr, 0);
    SP_DEVINFO_DATA data = DevInfoData();
    ASSERT_TRUE(SetupDiEnumDeviceInfo(readers, 1, &data));
    ASSERT_EQ(other_, data.DevInst);
    EXPECT_TRUE(SetupDiRemoveDevice(readers, &data));
    EXPECT_FALSE(SimDeviceExists(other_));
    EXPECT_FALSE(SimDeviceExists(filterB_));
    EXPECT_TRUE(SimDeviceExists(filterA_));
    EXPECT_EQ(2u, SimDeviceCount());
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(readers));
}

TEST_F(DeviceSets, ElementsBelongToTheirSet) {
    HDEVINFO filters = SetupDiGetClassDevsW(&GUID_DEVCLASS_SMARTCARDFILTER, nullptr, nullptr, 0);
    HDEVINFO readers = SetupDiGetClassDevsW(&kReaderClass, nullptr, nullptr, 0);
    SP_DEVINFO_DATA data = DevInfoData();
    ASSERT_TRUE(SetupDiEnumDeviceInfo(filters, 0, &data));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetupDiRemoveDevice(readers, &data));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    data.cbSize = sizeof data + 1;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetupDiRemoveDevice(filters, &data));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetupDiRemoveDevice(filters, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_TRUE(SimDeviceExists(filterA_));
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(filters));
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(readers));
}

TEST_F(DeviceSets, HandedOverSetIsUsableButNotCounted) {
    HDEVINFO set = nullptr;
    SP_DEVINFO_DATA data = {};
    ASSERT_TRUE(SimCreateDeviceInfo(reader_, &set, &data));
    EXPECT_EQ(sizeof data, data.cbSize);
    EXPECT_EQ(reader_, data.DevInst);
    EXPECT_TRUE(IsEqualGUID(kReaderClass, data.ClassGuid));
    EXPECT_TRUE(SimIsDeviceInfoSetValid(set));
    EXPECT_EQ(0u, SimSetsOpened());
    EXPECT_FALSE(SimCreateDeviceInfo(reader_ + 1000, &set, &data));

    SP_DEVINFO_DATA walked = DevInfoData();
    ASSERT_TRUE(SetupDiEnumDeviceInfo(set, 0, &walked));
    EXPECT_EQ(0, std::memcmp(&data, &walked, sizeof data));
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
    EXPECT_EQ(0u, SimSetsDestroyed());
}

class InstallParams : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        reader_ = SimAddDevice(L"USB\\READER\\1", 0, &kReaderClass);
        ASSERT_TRUE(SimCreateDeviceInfo(reader_, &set_, &data_));
    }

    // An SP_PROPCHANGE_PARAMS as SetupAPI stores it for a disable request.
    static SP_PROPCHANGE_PARAMS DisableParams() {
        SP_PROPCHANGE_PARAMS params = {};
        params.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
        params.ClassInstallHeader.InstallFunction = DIF_PROPERTYCHANGE;
        params.StateChange = DICS_DISABLE;
        params.Scope = DICS_FLAG_CONFIGSPECIFIC;
        params.HwProfile = 3;
        return params;
    }

    DEVINST reader_ = 0;
    HDEVINFO set_ = nullptr;
    SP_DEVINFO_DATA data_ = {};
};

struct PropChangeBuffer {
    SP_PROPCHANGE_PARAMS params;
    BYTE tail[8];
};

PropChangeBuffer Sentinelled() {
    PropChangeBuffer buffer;
    std::memset(&buffer, 0xcc, sizeof buffer);
    buffer.params.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
    return buffer;
}

TEST_F(InstallParams, ClassParamsAreCopiedWithTheirSize) {
    const SP_PROPCHANGE_PARAMS stored = DisableParams();
    ASSERT_EQ(20u, sizeof stored);
    ASSERT_TRUE(SimSetClassInstallParams(reader_, &stored, sizeof stored));
    PropChangeBuffer buffer = Sentinelled();
    DWORD required = 0xdeadbeef;
    SetLastError(0xdeadbeef);
    ASSERT_TRUE(SetupDiGetClassInstallParamsW(set_, &data_, &buffer.params.ClassInstallHeader, sizeof buffer.params,
                                              &required));
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), GetLastError());
    EXPECT_EQ(20u, required);
    EXPECT_EQ(0, std::memcmp(&stored, &buffer.params, sizeof stored));
    for (BYTE b : buffer.tail) EXPECT_EQ(0xcc, b);
}

TEST_F(InstallParams, ReportedSizeCanDifferFromTheStoredBytes) {
    const SP_PROPCHANGE_PARAMS stored = DisableParams();
    SimSetClassInstallParams(reader_, &stored, sizeof stored);
    ASSERT_TRUE(SimSetClassInstallParamsRequiredSize(reader_, 24));
    PropChangeBuffer buffer = Sentinelled();
    DWORD required = 0;
    ASSERT_TRUE(SetupDiGetClassInstallParamsW(set_, &data_, &buffer.params.ClassInstallHeader, sizeof buffer.params,
                                              &required));
    EXPECT_EQ(24u, required);
    EXPECT_EQ(DICS_DISABLE, buffer.params.StateChange);
    EXPECT_FALSE(SimSetClassInstallParamsRequiredSize(reader_ + 99, 24));
}

TEST_F(InstallParams, NoClassParamsIsItsOwnError) {
    PropChangeBuffer buffer = Sentinelled();
    DWORD required = 0xdeadbeef;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetupDiGetClassInstallParamsW(set_, &data_, &buffer.params.ClassInstallHeader, sizeof buffer.params,
                                               &required));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_CLASSINSTALL_PARAMS), GetLastError());
    EXPECT_EQ(0xdeadbeefu, required);

    const SP_PROPCHANGE_PARAMS stored = DisableParams();
    SimSetClassInstallParams(reader_, &stored, sizeof stored);
    SimSetClassInstallParams(reader_, nullptr, 0);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetupDiGetClassInstallParamsW(set_, &data_, &buffer.params.ClassInstallHeader, sizeof buffer.params,
                                               &required));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_CLASSINSTALL_PARAMS), GetLastError());
}

TEST_F(InstallParams, HeaderSizeMustBeThatOfTheHeader) {
    const SP_PROPCHANGE_PARAMS stored = DisableParams();
    SimSetClassInstallParams(reader_, &stored, sizeof stored);
    for (DWORD size : {DWORD(0), DWORD(sizeof(SP_CLASSINSTALL_HEADER) - 1), DWORD(sizeof(SP_CLASSINSTALL_HEADER) + 1),
                       DWORD(sizeof(SP_PROPCHANGE_PARAMS))}) {
        PropChangeBuffer buffer = Sentinelled();
        buffer.params.ClassInstallHeader.cbSize = size;
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(SetupDiGetClassInstallParamsW(set_, &data_, &buffer.params.ClassInstallHeader,
                                                   sizeof buffer.params, nullptr));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_USER_BUFFER), GetLastError()) << size;
        EXPECT_EQ(0xccccccccu, static_cast<DWORD>(buffer.params.StateChange));
    }
}

TEST_F(InstallParams, TooSmallBufferReportsTheRequiredSize) {
    const SP_PROPCHANGE_PARAMS stored = DisableParams();
    SimSetClassInstallParams(reader_, &stored, sizeof stored);
    PropChangeBuffer buffer = Sentinelled();
    DWORD required = 0;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetupDiGetClassInstallParamsW(set_, &data_, &buffer.params.ClassInstallHeader,
                                               sizeof buffer.params - 1, &required));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_EQ(20u, required);
    EXPECT_EQ(0xccccccccu, static_cast<DWORD>(buffer.params.StateChange));

    required = 0;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetupDiGetClassInstallParamsW(set_, &data_, nullptr, 0, &required));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_EQ(20u, required);

    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetupDiGetClassInstallParamsW(set_, &data_, nullptr, sizeof buffer.params, &required));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetupDiGetClassInstallParamsW(set_, &data_, &buffer.params.ClassInstallHeader,
                                               sizeof(SP_CLASSINSTALL_HEADER) - 1, &required));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST_F(InstallParams, ClassParamsNeedAValidSetAndElement) {
    const SP_PROPCHANGE_PARAMS stored = DisableParams();
    SimSetClassInstallParams(reader_, &stored, sizeof stored);
    PropChangeBuffer buffer = Sentinelled();
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetupDiGetClassInstallParamsW(reinterpret_cast<HDEVINFO>(0x1234), &data_,
                                               &buffer.params.ClassInstallHeader, sizeof buffer.params, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    SP_DEVINFO_DATA bad = data_;
    bad.cbSize = sizeof bad - 1;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetupDiGetClassInstallParamsW(set_, &bad, &buffer.params.ClassInstallHeader, sizeof buffer.params,
                                               nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetupDiGetClassInstallParamsW(set_, nullptr, &buffer.params.ClassInstallHeader, sizeof buffer.params,
                                               nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_CLASSINSTALL_PARAMS), GetLastError());
}

TEST_F(InstallParams, DeviceParamsAreReplacedWhole) {
    SP_DEVINSTALL_PARAMS_W prefilled = DevInstallParams();
    prefilled.Flags = DI_NEEDREBOOT | DI_QUIETINSTALL;
    prefilled.FlagsEx = DI_FLAGSEX_ALLOWEXCLUDEDDRVS;
    ASSERT_TRUE(SimSetDeviceInstallParams(reader_, &prefilled));

    SP_DEVINSTALL_PARAMS_W read = DevInstallParams();
    SetLastError(0xdeadbeef);
    ASSERT_TRUE(SetupDiGetDeviceInstallParamsW(set_, &data_, &read));
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), GetLastError());
    EXPECT_EQ(prefilled.Flags, read.Flags);
    EXPECT_EQ(prefilled.FlagsEx, read.FlagsEx);

    SP_DEVINSTALL_PARAMS_W replacement = DevInstallParams();
    replacement.Flags = DI_INSTALLDISABLED;
    SetLastError(0xdeadbeef);
    ASSERT_TRUE(SetupDiSetDeviceInstallParamsW(set_, &data_, &replacement));
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), GetLastError());
    SP_DEVINSTALL_PARAMS_W now = {};
    ASSERT_TRUE(SimGetDeviceInstallParams(reader_, &now));
    EXPECT_EQ(0, std::memcmp(&replacement, &now, sizeof now));
}

TEST_F(InstallParams, DeviceParamsSizeIsChecked) {
    SP_DEVINSTALL_PARAMS_W prefilled = DevInstallParams();
    prefilled.Flags = DI_NEEDRESTART;
    SimSetDeviceInstallParams(reader_, &prefilled);
    for (DWORD size : {DWORD(sizeof prefilled - 1), DWORD(sizeof prefilled + 1), DWORD(sizeof(SP_DEVINSTALL_PARAMS_A))}) {
        SP_DEVINSTALL_PARAMS_W params = DevInstallParams(size);
        params.Flags = DI_INSTALLDISABLED;
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(SetupDiSetDeviceInstallParamsW(set_, &data_, &params));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_USER_BUFFER), GetLastError()) << size;
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(SetupDiGetDeviceInstallParamsW(set_, &data_, &params));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_USER_BUFFER), GetLastError()) << size;
    }
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetupDiSetDeviceInstallParamsW(set_, &data_, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    SP_DEVINSTALL_PARAMS_W now = {};
    SimGetDeviceInstallParams(reader_, &now);
    EXPECT_EQ(static_cast<DWORD>(DI_NEEDRESTART), now.Flags);
}

TEST_F(InstallParams, SetWideDeviceParamsDoNotTouchTheDevice) {
    SP_DEVINSTALL_PARAMS_W params = DevInstallParams();
    params.Flags = DI_INSTALLDISABLED;
    ASSERT_TRUE(SetupDiSetDeviceInstallParamsW(set_, nullptr, &params));
    SP_DEVINSTALL_PARAMS_W device = {};
    SimGetDeviceInstallParams(reader_, &device);
    EXPECT_EQ(0u, device.Flags);
    SP_DEVINSTALL_PARAMS_W read = DevInstallParams();
    ASSERT_TRUE(SetupDiGetDeviceInstallParamsW(set_, nullptr, &read));
    EXPECT_EQ(static_cast<DWORD>(DI_INSTALLDISABLED), read.Flags);
}

}  // namespace
