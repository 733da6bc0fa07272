// The IMX415 frame sensor as the fusion camera exposes it: output on/off and four picture settings.
#include "orvane/hal/RegisterTables.h"

namespace orvane {

RegisterInfo imx415RegisterInfo[] = {
    {0, 0, "aps_ctrl", 0x5000, 0, 0, 0},
    {1, 0, "aps_en", 0, 1, 0, 0},
    {0, 0, "aps_exposure", 0x5001, 0, 0, 0},
    {1, 0, "aps_auto_exposure_en", 0, 1, 1, 0},
    {0, 0, "aps_shutter", 0x5002, 0, 0, 0},
    {1, 0, "aps_shutter_sweep_time", 0, 20, 102, 0},
    {0, 0, "aps_white_balance", 0x5003, 0, 0, 0},
    {1, 0, "aps_auto_white_balance_en", 0, 1, 1, 0},
    {0, 0, "aps_blk_level", 0x5004, 0, 0, 0},
    {1, 0, "aps_blk_level_offset", 0, 10, 50, 0},
};

const uint32_t imx415RegisterInfoCount = sizeof(imx415RegisterInfo) / sizeof(imx415RegisterInfo[0]);

}  // namespace orvane
