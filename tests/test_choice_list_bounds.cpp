// SPDX-License-Identifier: MIT
// Dispatcher op 19: a host sizes the buffer for a parameter's choices by the
// choiceCount of its description (0 for every parameter that is not a
// choice, and for an id no parameter has). Whatever id it asks about, a
// module writes no entry past that count, and a choice parameter still gets
// its whole list.
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/LibraryFixture.h"

namespace quorveil::testing {
namespace {

using plogue::biduleSDK::DispatchOp;
using plogue::biduleSDK::kNameEntryBytes;
using plogue::biduleSDK::ParameterKind;

const char* const kModules[] = {"Clip4_6", "ArcTan4_6", "Slice4_6",
                                "CC4_6",   "ConstantPowerPanner4_6", "ATF4_6"};

constexpr char kUntouched = '\x5a';
constexpr std::size_t kSpareEntries = 3;

TEST(ChoiceListBounds, NoModuleWritesPastTheDeclaredChoiceCountForAnyId) {
    for (const char* module : kModules) {
        auto instance = instanceOf(module);
        const auto infos = instance->describeParameters();
        struct Query {
            int32_t id;
            int32_t declared;  // the choiceCount the host sizes its buffer by
        };
        std::vector<Query> queries;
        for (const auto& info : infos) {
            const bool integerFields = info.kind == static_cast<int32_t>(ParameterKind::Choice) ||
                                       info.kind == static_cast<int32_t>(ParameterKind::Integer);
            queries.push_back({info.id, integerFields ? info.integerDefault.choiceCount : 0});
        }
        for (int32_t unknown : {-1, 99, 1000, INT_MAX, INT_MIN}) queries.push_back({unknown, 0});

        for (const Query& q : queries) {
            SCOPED_TRACE(std::string(module) + " id " + std::to_string(q.id));
            const auto declared = static_cast<std::size_t>(q.declared > 0 ? q.declared : 0);
            std::vector<char> entries((declared + kSpareEntries) * kNameEntryBytes, kUntouched);
            int32_t id = q.id;
            instance->dispatch(DispatchOp::ChoiceList, entries.data(), &id);
            for (std::size_t i = declared * kNameEntryBytes; i < entries.size(); ++i) {
                ASSERT_EQ(entries[i], kUntouched) << "byte " << i << " past " << declared << " entries";
            }
            for (std::size_t e = 0; e < declared; ++e) {
                const char* entry = entries.data() + e * kNameEntryBytes;
                EXPECT_GT(strnlen(entry, kNameEntryBytes), 0u) << "choice " << e << " is empty";
                EXPECT_LT(strnlen(entry, kNameEntryBytes), kNameEntryBytes) << "choice " << e;
            }
        }
    }
}

// ATF4_6 answers every id with its "Mode" list; the host still gets it whole
// for "Mode" (id 4) and nothing for the others.
TEST(ChoiceListBounds, ModeOfATF4_6KeepsBothChoices) {
    auto atf = instanceOf("ATF4_6");
    EXPECT_EQ(atf->choiceList(4, 2), (std::vector<std::string>{"Across", "Diagonal"}));
    std::vector<char> one(kNameEntryBytes, kUntouched);
    for (int32_t id : {0, 3, 5, 99}) {
        atf->dispatch(DispatchOp::ChoiceList, one.data(), &id);
    }
    for (char c : one) ASSERT_EQ(c, kUntouched);
}

}  // namespace
}  // namespace quorveil::testing
