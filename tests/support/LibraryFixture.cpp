// SPDX-License-Identifier: MIT
#include "tests/support/LibraryFixture.h"

#include <cstdlib>
#include <cstring>

namespace quorveil::testing {

host::PluginLibrary& library() {
    static host::PluginLibrary loaded([] {
        const char* fromEnvironment = std::getenv("QUORVEIL_LIBRARY");
        return std::string(fromEnvironment != nullptr ? fromEnvironment : QUORVEIL_LIBRARY_PATH);
    }());
    return loaded;
}

std::unique_ptr<host::HostedInstance> instanceOf(const std::string& className) {
    return std::make_unique<host::HostedInstance>(library(), "audio.quorveil." + className);
}

std::vector<plogue::biduleSDK::ParameterInfo> describeInto(host::HostedInstance& instance,
                                                           unsigned char fillByte) {
    using plogue::biduleSDK::DispatchOp;
    int32_t count = 0;
    instance.dispatch(DispatchOp::DescribeParameters, nullptr, &count);
    std::vector<plogue::biduleSDK::ParameterInfo> infos(static_cast<std::size_t>(count));
    std::memset(static_cast<void*>(infos.data()), fillByte, infos.size() * sizeof infos[0]);
    instance.dispatch(DispatchOp::DescribeParameters, infos.data(), &count);
    return infos;
}

}  // namespace quorveil::testing
