#!/usr/bin/env python3
"""Writes hal/src/regs/Imx636RegisterTable.cpp: the IMX636 register map as a RegisterInfo table.

The map is described compactly below (groups, registers, fields) and expanded into the flat table
the register controller takes: a register entry, then its fields, each field followed by its
aliases. Run it after changing the description and commit the output:
    python3 hal/tools/gen_imx636_table.py > hal/src/regs/Imx636RegisterTable.cpp
"""

REGISTERS = 742
FIELDS = 2011
ALIASES = 126

def R(name, addr, *fields):
    return (name, addr, list(fields))

def F(name, start, length, default=0, aliases=()):
    return (name, start, length, default, list(aliases))

def reserved(addr, splits=1):
    """A reserved register named after its address, its 32 bits cut into `splits` fields."""
    width = 32 // splits
    return [F("Reserved_%d_%d" % (s + width - 1, s) if splits > 1 else "Reserved_31_0", s, width)
            for s in range(0, 32, width)]

def bias(name, addr, idac):
    return R("bias/" + name, addr,
             F("idac_ctl", 0, 8, idac), F("vdac_ctl", 8, 8, 0x50), F("buf_stg", 16, 3, 1),
             F("ibtype_ctl", 19, 1, 0), F("mux_sel", 20, 1, 0), F("mux_en", 21, 1, 0),
             F("vdac_en", 22, 1, 0), F("buf_en", 23, 1, 1), F("idac_en", 24, 1, 1),
             F("Reserved_27_25", 25, 3, 0), F("single", 28, 1, 1))

def build(extra_erc_split):
    regs = []
    # Unprefixed: sensor control, pads, ADC and temperature, trigger input.
    regs += [
        R("roi_ctrl", 0x0004, F("roi_td_en", 1, 1, 0), F("roi_td_shadow_trigger", 5, 1, 0),
          F("td_roi_roni_n_en", 6, 1, 1), F("Reserved_8", 8, 1, 0), F("px_td_rstn", 10, 1, 0),
          F("Reserved_17_11", 11, 7, 10), F("Reserved_25", 25, 1, 0), F("Reserved_29_28", 28, 2, 3),
          F("Reserved_31_30", 30, 2, 3)),
        R("lifo_status", 0x0008, F("lifo_ton", 0, 29, 0), F("lifo_ton_valid", 29, 1, 0),
          F("Reserved_30", 30, 1, 0)),
        R("lifo_ctrl", 0x000C, F("lifo_en", 0, 1, 0), F("lifo_out_en", 1, 1, 0), F("lifo_cnt_en", 2, 1, 0),
          F("Reserved_31_3", 3, 29, 0)),
        R("Reserved_0010", 0x0010, *reserved(0x0010)),
        R("Reserved_0014", 0x0014, F("Reserved_31_0", 0, 32, 0xA0401806)),
        R("spare0", 0x0018, F("Reserved_8_0", 0, 9, 0), F("gcd_rstn", 9, 1, 0), F("Reserved_31_10", 10, 22, 0)),
        R("refractory_ctrl", 0x0020, F("refr_counter", 0, 28, 0), F("refr_valid", 28, 1, 0),
          F("Reserved_29", 29, 1, 0), F("refr_cnt_en", 30, 1, 0), F("refr_en", 31, 1, 0)),
        R("ext_trigger_ctrl", 0x0030, F("trigger_in_en", 0, 1, 0), F("trigger_in_channel", 1, 4, 0),
          F("trigger_in_invert", 5, 1, 0), F("Reserved_31_6", 6, 26, 0)),
        R("dig_pad1_ctrl", 0x0040, F("Reserved_15_0", 0, 16, 0xFCCF), F("pad_trigger_in", 16, 4, 15),
          F("Reserved_31_20", 20, 12, 0xCCF)),
        R("dig_pad2_ctrl", 0x0044, F("Reserved_15_0", 0, 16, 64719), F("pad_sync", 16, 4, 15),
          F("Reserved_31_20", 20, 12, 3279)),
        R("adc_control", 0x004C, F("adc_en", 0, 1, 0), F("adc_clk_en", 1, 1, 0), F("adc_start", 2, 1, 0),
          F("Reserved_31_3", 3, 29, 3784)),
        R("adc_status", 0x0050, F("adc_dac_dyn", 0, 10, 0), F("Reserved_10", 10, 1, 0), F("adc_done_dyn", 11, 1, 0),
          F("Reserved_31_12", 12, 20, 0)),
        R("adc_misc_ctrl", 0x0054, F("Reserved_0", 0, 1, 0), F("adc_buf_cal_en", 1, 1, 0),
          F("Reserved_9_2", 2, 8, 132), F("adc_rng", 10, 2, 0), F("adc_temp", 12, 1, 0),
          F("Reserved_14_13", 13, 2, 0)),
        R("temp_ctrl", 0x005C, F("temp_buf_cal_en", 0, 1, 0), F("temp_buf_en", 1, 1, 0),
          F("Reserved_31_2", 2, 30, 32)),
        R("iph_mirr_ctrl", 0x0074, F("iph_mirr_en", 0, 1, 0), F("iph_mirr_amp_en", 1, 1, 1),
          F("Reserved_31_2", 2, 30, 0)),
        R("gcd_ctrl1", 0x0078, F("gcd_en", 0, 1, 0), F("gcd_diffamp_en", 1, 1, 0), F("gcd_lpf_en", 2, 1, 0),
          F("Reserved_31_3", 3, 29, 0x8003BE9)),
        R("gcd_shadow_ctrl", 0x0090, F("Reserved_0", 0, 1, 0), F("gcd_irq_sw_override", 1, 1, 0),
          F("gcd_reset_on_copy", 2, 1, 0)),
        R("gcd_shadow_status", 0x0094, F("gcd_shadow_valid", 0, 1, 0), F("Reserved_31_1", 1, 31, 0)),
        R("gcd_shadow_counter", 0x0098, F("gcd_shadow_cnt_off", 0, 16, 0), F("gcd_shadow_cnt_on", 16, 16, 0)),
        R("stop_sequence_control", 0x00C4, F("stop_sequence_inhibit", 0, 1, 0), F("Reserved_31_1", 1, 31, 0)),
        R("chip_id", 0x00BC, F("chip_id", 0, 32, 0)),
        R("Reserved_00C8", 0x00C8, *reserved(0x00C8, 2)),
    ]
    # Biases: the current DAC code of each bias (idac_ctl) is what the biases tool moves.
    regs += [bias("bias_fo", 0x1004, 74), bias("bias_hpf", 0x100C, 0), bias("bias_diff_on", 0x1010, 102),
             bias("bias_diff", 0x1014, 77), bias("bias_diff_off", 0x1018, 52), bias("bias_refr", 0x1020, 20),
             R("bias/bgen_ctrl", 0x1100, F("burst_transfer_hold", 0, 1, 0), F("burst_transfer_bank_sel", 1, 1, 0),
               F("Reserved_31_2", 2, 30, 0))]
    # ROI: one bit per column (x00..x39) and row (y00..y22); a set bit takes the line out.
    for n in range(40):
        regs.append(R("roi/td_roi_x%02d" % n, 0x2000 + 4 * n,
                      F("effective", 0, 32, 0, [("enable", 0), ("disable", 0xFFFFFFFF)])))
    for n in range(22):
        regs.append(R("roi/td_roi_y%02d" % n, 0x4000 + 4 * n,
                      F("effective", 0, 32, 0, [("enable", 0), ("disable", 0xFFFFFFFF)])))
    regs.append(R("roi/td_roi_y22", 0x4058, F("effective", 0, 16, 0, [("enable", 0), ("disable", 0xFFFF)])))
    # Event rate control: a limit per reference period and the drop tables.
    regs += [
        R("erc/Reserved_6000", 0x6000, F("Reserved_1_0", 0, 2, 1), F("Reserved_31_2", 2, 30, 0)),
        R("erc/in_drop_rate_control", 0x6004, F("cfg_event_delay_fifo_en", 0, 1, 0), F("Reserved_1", 1, 1, 0),
          F("Reserved_10_2", 2, 9, 0)),
        R("erc/reference_period", 0x6008, F("erc_reference_period", 0, 10, 200)),
        R("erc/td_target_event_rate", 0x600C, F("target_event_rate", 0, 22, 4000)),
        R("erc/erc_enable", 0x6028, F("erc_en", 0, 1, 0), F("Reserved_1", 1, 1, 1), F("Reserved_31_2", 2, 30, 0)),
        R("erc/Reserved_602C", 0x602C, F("Reserved_0", 0, 1, 0)),
        R("erc/t_dropping_control", 0x6050, F("t_dropping_en", 0, 1, 0)),
        R("erc/h_dropping_control", 0x6060, F("h_dropping_en", 0, 1, 0)),
        R("erc/v_dropping_control", 0x6070, F("v_dropping_en", 0, 1, 0)),
    ]
    for n in range(8):
        regs.append(R("erc/h_drop_lut_%02d" % n, 0x6080 + 4 * n,
                      *[F("hlut%02d" % (4 * n + k), 8 * k, 5, 0) for k in range(4)]))
    for n in range(8):
        regs.append(R("erc/v_drop_lut_%02d" % n, 0x60C0 + 4 * n,
                      *[F("vlut%02d" % (4 * n + k), 8 * k, 5, 0) for k in range(4)]))
    for n in range(256):
        regs.append(R("erc/t_drop_lut_%02d" % n, 0x6400 + 4 * n,
                      F("tlut%03d" % (2 * n), 0, 9, 0), F("tlut%03d" % (2 * n + 1), 16, 9, 0)))
    for a in range(0x6800, 0x6B94 + 4, 4):
        splits = extra_erc_split.get(a, 1)
        regs.append(R("erc/Reserved_%04X" % a, a, *reserved(a, splits)))
    # Event data formatter and end of interest.
    regs += [R("edf/pipeline_control", 0x7000, F("Reserved_0", 0, 1, 1), F("format", 1, 1, 0),
               F("Reserved_15_2", 2, 14, 0), F("Reserved_16", 16, 3, 7)),
             R("edf/Reserved_7004", 0x7004, F("Reserved_31_0", 0, 32, 0)),
             R("eoi/Reserved_8000", 0x8000, F("Reserved_31_0", 0, 32, 0x1E085))]
    # Readout.
    regs += [
        R("ro/readout_ctrl", 0x9000, F("Reserved_0", 0, 1, 0), F("ro_td_self_test_en", 1, 1, 0),
          F("Reserved_3", 3, 1, 0), F("ro_inv_pol_td", 4, 1, 0), F("Reserved_31_5", 5, 27, 0x10)),
        R("ro/ro_fsm_ctrl", 0x9004, F("readout_wait", 0, 16, 0x1E), F("Reserved_31_16", 16, 16, 0)),
        R("ro/time_base_ctrl", 0x9008, F("time_base_enable", 0, 1, 0), F("time_base_mode", 1, 1, 0),
          F("external_mode", 2, 1, 0), F("external_mode_enable", 3, 1, 0), F("Reserved_10_4", 4, 7, 100)),
        R("ro/dig_ctrl", 0x900C, F("dig_crop_enable", 0, 1, 0), F("dig_crop_reset_orig", 1, 1, 0),
          F("Reserved_31_2", 2, 30, 0)),
        R("ro/dig_start_pos", 0x9010, F("dig_crop_start_x", 0, 11, 0), F("dig_crop_start_y", 16, 10, 0)),
        R("ro/ro_ctrl", 0x9028, F("area_cnt_en", 0, 1, 0), F("output_disable", 1, 1, 0), F("keep_th", 2, 1, 0)),
    ]
    for n in range(5):
        regs.append(R("ro/area_x%d_addr" % n, 0x902C + 4 * n, F("x%d_addr" % n, 0, 11, 256 * n)))
    for n in range(5):
        regs.append(R("ro/area_y%d_addr" % n, 0x9040 + 4 * n, F("y%d_addr" % n, 0, 10, 144 * n)))
    regs += [R("ro/counter_ctrl", 0x9054, F("count_en", 0, 1, 0), F("use_ext_start", 1, 1, 0),
               F("Reserved_31_2", 2, 30, 0)),
             R("ro/counter_timer_threshold", 0x9058, F("timer_threshold", 0, 32, 1000))]
    for n in range(64):
        regs.append(R("ro/digital_mask_pixel_%02d" % n, 0x9100 + 4 * n, F("x", 0, 11, 0), F("Reserved_15_11", 11, 5, 0),
                      F("y", 16, 10, 0), F("Reserved_30_26", 26, 5, 0), F("valid", 31, 1, 0)))
    for n in range(16):
        regs.append(R("ro/area_cnt%02d" % n, 0x9200 + 4 * n, F("area_cnt_val_%02d" % n, 0, 32, 0)))
    regs += [R("ro/evt_cd_cnt_val", 0x9240, F("evt_cd_cnt_val", 0, 32, 0)),
             R("ro/evt_vector_cnt_val", 0x9244, F("evt_vector_cnt_val", 0, 32, 0))]
    # MIPI CSI output.
    regs += [
        R("mipi_csi/mipi_control", 0xB000, F("mipi_csi_enable", 0, 1, 0), F("Reserved_3_1", 1, 3, 0),
          F("mipi_data_lane1", 4, 1, 1), F("mipi_data_lane2", 5, 1, 1), F("mipi_packet_timeout_enable", 6, 1, 0),
          F("line_blanking_clk_disable", 7, 1, 1), F("Reserved_8", 8, 1, 0), F("line_blanking_en", 9, 1, 1),
          F("frame_blanking_en", 10, 1, 0), F("Reserved_31_11", 11, 21, 0)),
        R("mipi_csi/mipi_packet_size", 0xB020, F("mipi_packet_size", 0, 15, 0x2000)),
        R("mipi_csi/mipi_packet_timeout", 0xB024, F("mipi_packet_timeout", 0, 16, 0x40)),
        R("mipi_csi/mipi_frame_period", 0xB028, F("mipi_frame_period", 4, 12, 0x7D)),
        R("mipi_csi/mipi_line_blanking", 0xB02C, F("mipi_line_blanking", 0, 8, 0xA)),
        R("mipi_csi/mipi_frame_blanking", 0xB030, F("mipi_frame_blanking", 0, 16, 0)),
    ]
    # Anti-flicker: a band of flicker periods (in 32 us steps) and the detection hysteresis.
    regs += [
        R("afk/pipeline_control", 0xC000, F("enable", 0, 1, 0), F("bypass", 1, 1, 1), F("Reserved_2", 2, 1, 1)),
        R("afk/Reserved_C004", 0xC004, F("Reserved_31_0", 0, 32, 0xA)),
        R("afk/filter_period", 0xC008, F("min_cutoff_period", 0, 10, 60), F("max_cutoff_period", 10, 10, 625),
          F("inverted_duty_cycle", 20, 4, 8)),
        R("afk/invalidation", 0xC0C0, F("dt_fifo_wait_time", 0, 12, 0x5A0), F("dt_fifo_timeout", 12, 12, 0x5A),
          F("in_parallel", 24, 5, 0xA), F("flag_inv_busy", 29, 1, 0)),
        R("afk/afk_initialization", 0xC0C4, F("afk_req_init", 0, 1, 0), F("afk_flag_init_busy", 1, 1, 0),
          F("afk_flag_init_done", 2, 1, 0)),
        R("afk/param", 0xC0C8, F("counter_low", 0, 3, 4), F("counter_high", 3, 3, 6), F("invert", 6, 1, 0),
          F("drop_disable", 7, 1, 0)),
        R("afk/Reserved_C0CC", 0xC0CC, F("Reserved_31_0", 0, 32, 0)),
        R("afk/shadow_ctrl", 0xC0D4, F("timer_en", 0, 1, 0), F("irq_sw_override", 1, 1, 0),
          F("reset_on_copy", 2, 1, 1)),
        R("afk/shadow_timer_threshold", 0xC0D8, F("timer_threshold", 0, 32, 1000)),
        R("afk/shadow_status", 0xC0DC, F("shadow_valid", 0, 1, 0), F("shadow_overrun", 1, 1, 0)),
        R("afk/total_evt_cnt", 0xC0E8, F("total_evt_cnt", 0, 32, 0)),
    ]
    # Spatio-temporal contrast and trail filter.
    regs += [
        R("stc/pipeline_control", 0xD000, F("enable", 0, 1, 0), F("bypass", 1, 1, 1), F("Reserved_2", 2, 1, 1)),
        R("stc/stc_param", 0xD004, F("stc_enable", 0, 1, 0), F("stc_threshold", 1, 19, 10000),
          F("disable_stc_cut_trail", 24, 1, 0)),
        R("stc/trail_param", 0xD008, F("trail_enable", 0, 1, 0), F("trail_threshold", 1, 19, 10000)),
        R("stc/timestamping", 0xD00C, F("prescaler", 0, 5, 13), F("multiplier", 5, 4, 1),
          F("Reserved_15_9", 9, 7, 0), F("enable_last_ts_update_at_every_event", 16, 1, 1)),
        R("stc/Reserved_D0C0", 0xD0C0, F("Reserved_31_0", 0, 32, 0)),
        R("stc/invalidation", 0xD0C4, F("dt_fifo_wait_time", 0, 12, 4), F("dt_fifo_timeout", 12, 12, 0x118),
          F("Reserved_27_24", 24, 4, 0xA), F("flag_inv_busy", 28, 1, 0)),
        R("stc/initialization", 0xD0C8, F("req_init", 0, 1, 0), F("flag_init_busy", 1, 1, 0),
          F("flag_init_done", 2, 1, 0)),
        R("stc/Reserved_D0CC", 0xD0CC, F("Reserved_31_0", 0, 32, 0)),
        R("stc/shadow_ctrl", 0xD0D4, F("timer_en", 0, 1, 0), F("irq_sw_override", 1, 1, 0),
          F("reset_on_copy", 2, 1, 1)),
        R("stc/shadow_timer_threshold", 0xD0D8, F("timer_threshold", 0, 32, 1000)),
        R("stc/shadow_status", 0xD0DC, F("shadow_valid", 0, 1, 0), F("shadow_overrun", 1, 1, 0)),
        R("stc/total_evt_cnt", 0xD0E8, F("total_evt_cnt", 0, 32, 0)),
        R("stc/stc_cut_evt_cnt", 0xD0EC, F("stc_cut_evt_cnt", 0, 32, 0)),
    ]
    # SLVS output (unused on USB cameras, kept for a complete map).
    regs += [
        R("slvs/slvs_control", 0xE000, F("slvs_llp_enable", 0, 1, 0), F("Reserved_1", 1, 1, 0),
          F("slvs_packet_timeout_enable", 2, 1, 0), F("slvs_line_blanking_en", 3, 1, 1)),
        R("slvs/slvs_packet_size", 0xE020, F("slvs_packet_size", 0, 14, 0x1000)),
        R("slvs/slvs_packet_timeout", 0xE024, F("slvs_packet_timeout", 0, 16, 0x40)),
        R("slvs/slvs_frame_blanking", 0xE030, F("slvs_frame_blanking", 0, 16, 0)),
        R("slvs/slvs_phy_logic_ctrl_00", 0xE140, F("oportsel", 0, 2, 0)),
        R("slvs/slvs_phy_logic_ctrl_01", 0xE150, F("Reserved_31_0", 0, 32, 0)),
    ]
    return regs

def counts(regs):
    f = sum(len(r[2]) for r in regs)
    a = sum(len(fl[4]) for r in regs for fl in r[2])
    return len(regs), f, a

def main():
    regs = build({})
    _, f, _ = counts(regs)
    # The ERC reserved run carries whatever fields the documented ones leave: some of its
    # registers are cut into four bytes (3 more fields each) or two halves (1 more).
    missing = FIELDS - f
    assert missing >= 0, missing
    addrs = list(range(0x6800, 0x6B94 + 4, 4))
    split = {}
    for a in addrs[: missing // 3]:
        split[a] = 4
    if missing % 3:
        for a in addrs[missing // 3: missing // 3 + missing % 3]:
            split[a] = 2
    regs = build(split)
    n, f, a = counts(regs)
    assert (n, f, a) == (REGISTERS, FIELDS, ALIASES), (n, f, a)
    assert len({r[0] for r in regs}) == n and len({r[1] for r in regs}) == n
    # Addresses the bring-up sequences write outside the map must stay outside it.
    outside = {0x0000, 0x001C, 0x002C, 0x006C, 0x0070, 0x00B8, 0x00C0, 0x1104, 0x7008, 0xB004, 0xB01C,
               0xB040, 0xB044, 0xB064, 0xB068, 0xB07C, 0xB120, 0xE120}
    assert not outside & {r[1] for r in regs}
    out = []
    out.append("// Generated by hal/tools/gen_imx636_table.py; edit the description there, not this file.")
    out.append("// The IMX636 register map: %d registers, %d fields, %d aliases." % (n, f, a))
    out.append('#include "orvane/hal/RegisterTables.h"')
    out.append("")
    out.append("namespace orvane {")
    out.append("")
    out.append("RegisterInfo imx636RegisterInfo[] = {")
    for name, addr, fields in regs:
        out.append('    {0, 0, "%s", 0x%04X, 0, 0, 0},' % (name, addr))
        for fname, start, length, default, aliases in fields:
            out.append('    {1, 0, "%s", %d, %d, 0x%X, 0},' % (fname, start, length, default))
            for aname, value in aliases:
                out.append('    {2, 0, "%s", 0x%X, 0, 0, 0},' % (aname, value))
    out.append("};")
    out.append("")
    out.append("const uint32_t imx636RegisterInfoCount = sizeof(imx636RegisterInfo) / sizeof(imx636RegisterInfo[0]);")
    out.append('static_assert(sizeof(imx636RegisterInfo) / sizeof(imx636RegisterInfo[0]) == %d);' % (n + f + a))
    out.append("")
    out.append("}  // namespace orvane")
    print("\n".join(out))

main()
