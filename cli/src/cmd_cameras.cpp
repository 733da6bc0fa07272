// orvane cameras: the cameras on the bus (the simulated ones unless hardware is plugged in).
#include <cstdio>

#include "Command.h"
#include "orvane/driver/DvsCameraManager.h"

namespace orvane::cli {
namespace {

std::string jsonString(const std::string& s)
{
    std::string out = "\"";
    for (const char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        if (static_cast<unsigned char>(c) < 0x20) continue;
        out += c;
    }
    return out + "\"";
}

int run(const Args& args)
{
    DvsCameraManager manager;
    const auto cameras = manager.getCameraDescs();
    if (args.has("json")) {
        std::printf("[");
        for (size_t i = 0; i < cameras.size(); ++i) {
            std::printf("%s{\"serial\":%s,\"product\":%s}", i ? "," : "", jsonString(cameras[i].serial).c_str(),
                        jsonString(cameras[i].product).c_str());
        }
        std::printf("]\n");
        return 0;
    }
    if (cameras.empty()) {
        std::printf("no cameras found\n");
        return 0;
    }
    std::printf("%-20s %s\n", "serial", "product");
    for (const auto& c : cameras) std::printf("%-20s %s\n", c.serial.c_str(), c.product.c_str());
    return 0;
}

}  // namespace

ORVANE_CLI_COMMAND("cameras", "list the cameras found (serial and product)", {},
                   {{"json", Option::Kind::Flag, "", "one JSON array"}}, run);

}  // namespace orvane::cli
