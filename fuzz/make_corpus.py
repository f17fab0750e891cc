#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/.

The seeds are real traffic and real files: the request and answer frames of the
converter protocol, a settings file and a setup file as the program writes them,
and the edge cases of their reading rules. Run it again after changing a seed.
"""
import os

HERE = os.path.dirname(os.path.abspath(__file__))


def check(frame):
    return frame + bytes([(256 - sum(frame) % 256) % 256])


def answer(body):
    """SOH LEN body check: the converter's answer frame."""
    return check(bytes([0x01, len(body) + 2]) + body)


def char_answer(item, value):
    return answer(bytes([0x01, 0x00, 0x06, 0x57, 0x1F, item, 0x1E, 0x77, 0x1F, value, 0x1E]))


def int_answer(item, value):
    return answer(bytes([0x01, 0x00, 0x06, 0x57, 0x1F, item, 0x1E, 0x77, 0x1F,
                         value & 0xFF, value >> 8, 0x1E]))


def text_answer(item, text):
    return answer(bytes([0x01, 0x00, 0x06, 0x57, 0x1F, item, 0x1E, 0x77, 0x1F]) + text + b"\x1e")


ACK = answer(bytes([0x01, 0x00, 0x06, 0x57]))
NACK = answer(bytes([0x01, 0x00, 0x15, 0x57]))
BULK = [0, 5, 7] + list(range(10, 18)) + list(range(20, 28)) + list(range(30, 38))


def feed(raw):
    """fuzz_answer operation: feed these bytes (in pieces of at most 128), one tick each."""
    out = b""
    while raw:
        piece, raw = raw[:128], raw[128:]
        out += bytes([len(piece) - 1]) + piece
    return out


def ticks(n):
    out = b""
    while n >= 16:
        k = min(n // 16, 16)
        out += bytes([0xA0 + k - 1])
        n -= k * 16
    while n > 0:
        k = min(n, 32)
        out += bytes([0x80 + k - 1])
        n -= k
    return out


READ_ALL, WRITE_ALL, CALL, RESTART = b"\xd0", b"\xd1", b"\xd2", b"\xd3"
WRITE_CHANGED = b"\xdc"
SETTLE = ticks(14)  # idle step, pick, wake-up delay, send


def answer_seeds():
    seeds = {}
    # A read-all that the converter answers as the simulator does, frame by frame.
    s = READ_ALL
    for item in BULK:
        s += SETTLE + feed(char_answer(item, {0: 2, 7: 150}.get(item, 1))) + ticks(2)
    seeds["read_all_good"] = s
    # The same with the typed answer operations.
    s = READ_ALL
    for item in BULK:
        s += SETTLE + b"\xc2" + bytes([item % 3]) + ticks(2)
    seeds["read_all_short_ops"] = s
    s = WRITE_ALL
    for _ in BULK:
        s += SETTLE + feed(ACK) + ticks(2)
    seeds["write_all_acked"] = s
    seeds["write_all_refused"] = WRITE_ALL + (SETTLE + feed(NACK) + ticks(2)) * 4
    seeds["read_all_silent"] = READ_ALL + ticks(600)
    seeds["read_int_item"] = b"\xd4\x64" + SETTLE + feed(int_answer(100, 300)) + ticks(3)
    seeds["read_int_above_16_bits"] = b"\xd4\x65" + SETTLE + b"\xc3\xff\xff" + ticks(3)
    seeds["read_text_item"] = b"\xd4\x96" + SETTLE + feed(text_answer(150, b"abc")) + ticks(3)
    seeds["read_text_85_chars"] = b"\xd4\x97" + SETTLE + b"\xc4\x55" + b"x" * 85 + ticks(3)
    seeds["write_text_item"] = b"\xd5\x96\x05hello" + SETTLE + b"\xc0" + ticks(3)
    seeds["write_int_value"] = b"\xd6\x64\x2c\x01" + SETTLE + b"\xc0" + ticks(3)
    seeds["write_negative_int"] = b"\xd6\x64\xff\xff" + SETTLE + ticks(3)
    seeds["restart_acked"] = RESTART + SETTLE + feed(ACK) + ticks(3)
    seeds["restart_silent"] = RESTART + ticks(260)
    bufpos = answer(bytes([0x01, 0x00, 0x06, 0x32, 0x1F, 0x35, 0x1E]))
    seeds["call_acked"] = CALL + SETTLE + feed(bufpos) + ticks(3) + feed(ACK) + ticks(3)
    seeds["call_refused"] = CALL + SETTLE + feed(bufpos) + ticks(3) + feed(NACK) + ticks(3)
    seeds["restart_and_call"] = CALL + RESTART + SETTLE + feed(ACK) + ticks(3)
    # Faults of the line.
    seeds["wrong_check_byte"] = b"\xd4\x05" + SETTLE + b"\xb1\x0b" + char_answer(5, 3)[2:-1]
    seeds["stop_after_len"] = b"\xd4\x05" + SETTLE + feed(b"\x01\x0d") + ticks(130)
    seeds["stop_in_data"] = b"\xd4\x05" + SETTLE + feed(char_answer(5, 3)[:8]) + ticks(130)
    seeds["answer_99_bytes"] = b"\xd4\x05" + SETTLE + feed(b"\x01\x70" + b"\x00" * 98) + ticks(3)
    seeds["answer_len_0"] = b"\xd4\x05" + SETTLE + feed(b"\x01\x00\xff") + ticks(3)
    seeds["other_item"] = b"\xd4\x0a" + SETTLE + b"\xc5\x0b\x01" + ticks(3) + SETTLE + b"\xc2\x02"
    seeds["noise_before_soh"] = b"\xd4\x05" + SETTLE + feed(b"\xff\x00abc" + char_answer(5, 3))
    seeds["slow_answer"] = b"\xd4\x05" + SETTLE + ticks(118) + feed(char_answer(5, 3)) + ticks(3)
    seeds["too_slow_answer"] = b"\xd4\x05" + SETTLE + ticks(121) + feed(char_answer(5, 3))
    seeds["port_lost_in_read_all"] = (READ_ALL + SETTLE + feed(char_answer(0, 2)) + ticks(2) +
                                      b"\xd8" + ticks(500) + READ_ALL + b"\xd9" + ticks(20))
    seeds["port_lost_in_write_all"] = WRITE_ALL + SETTLE + feed(ACK) + b"\xd8" + ticks(500)
    seeds["sends_fail"] = b"\xda" + b"\xd4\x05" + ticks(200) + b"\xda"
    seeds["cancel_series"] = READ_ALL + SETTLE + feed(char_answer(0, 1)) + b"\xd7" + ticks(10)
    # "Write changed": the unit holds 1 everywhere but 0 in item 5, the program wants
    # 0 everywhere; it learns the unit, writes what differs and reads it back.
    s = WRITE_CHANGED
    for item in BULK:
        s += SETTLE + b"\xc2" + bytes([0 if item == 5 else 1]) + ticks(2)
    seeds["write_changed"] = s + (SETTLE + b"\xc0" + ticks(2) + SETTLE + b"\xc2\x00" + ticks(2)) * 30
    seeds["write_changed_silent"] = WRITE_CHANGED + ticks(600)
    seeds["text_while_idle"] = feed(b"ready\r\nOK\r\n" + b"x" * 140) + ticks(2) + b"\xdb"
    seeds["request_frames_back"] = b"\xd4\x05" + SETTLE + feed(bytes.fromhex(
        "01 09 01 00 02 77 1F 05 1E 3A 01 0D 01 00 02 57 1F 0A 1E 77 1F 03 1E 9A"))
    return seeds


def frames_seeds():
    """fuzz_frames: piece size - 1, an item to decode + 2, then what the line brings."""
    def seed(piece, item, line):
        return bytes([piece - 1, item + 2]) + line
    return {
        "char_answer_whole": seed(256, 10, char_answer(10, 3)),
        "char_answer_byte_by_byte": seed(1, 7, char_answer(7, 150)),
        "char_choice_beyond_list": seed(3, 15, char_answer(15, 200)),
        "int_answer": seed(4, 100, int_answer(100, 300)),
        "int_above_16_bits": seed(2, 101, int_answer(101, 0xFFFF)),
        "text_answer": seed(5, 150, text_answer(150, b"abcdef")),
        "text_85_chars": seed(16, 151, text_answer(151, b"x" * 85)),
        "ack_then_refusal": seed(7, 0, ACK + NACK),
        "noise_before_soh": seed(2, 5, b"\xff\x00abc" + char_answer(5, 3)),
        "wrong_check_byte": seed(256, 5, char_answer(5, 3)[:-1] + b"\x00"),
        "len_0_and_1": seed(1, 5, b"\x01\x00\xff\x01\x01\xfe"),
        "too_long": seed(32, 150, b"\x01\x70" + b"\x00" * 98),
        "stops_in_data": seed(3, 10, char_answer(10, 3)[:9]),
        "value_slot_missing": seed(256, 10, answer(bytes([0x01, 0x00, 0x06, 0x57, 0x1F, 10, 0x1E]))),
        "item_with_no_value": seed(256, 149, char_answer(149, 1)),
    }


def drain_seeds():
    return {
        "two_chars_crlf": b"\x00AB\r\n",
        "lines_one_by_one": b"\x00ready\r\nunit 3\r\n",
        "200_chars_no_end": b"\x3f" + b"a" * 200,
        "control_bytes": b"\x04" + bytes(range(0, 32)) + b"\x7f\x80\xff\r",
        "frame_as_text": b"\x01" + char_answer(5, 3) + ACK,
        "empty_lines": b"\x02\r\n\r\n\n\rx\n",
    }


def telnet_seeds():
    """fuzz_telnet: piece size - 1, then what a serial device server sends."""
    def sb(code, value):
        return b"\xff\xfa\x2c" + bytes([code]) + value.replace(b"\xff", b"\xff\xff") + b"\xff\xf0"
    opening = bytes.fromhex("fffb03 fffd03 fffb01 fffe01 fffd00 fffb00 fffd2c") + sb(107, b"\x00")
    confirmations = (sb(101, (9600).to_bytes(4, "big")) + sb(102, b"\x08") + sb(103, b"\x01") +
                     sb(104, b"\x01") + sb(105, b"\x01"))
    return {
        "ser2net_whole": b"\xff" + opening + confirmations + b"\x01\x0d\xff\xff",
        "ser2net_byte_by_byte": b"\x00" + opening + confirmations,
        "refuses_com_port": b"\x03" + bytes.fromhex("fffd00 fffb00 fffe2c"),
        "refuses_binary": b"\x07" + bytes.fromhex("fffc00 fffe00"),
        "other_baud_rate": b"\x02" + bytes.fromhex("fffd2c") + sb(101, (19200).to_bytes(4, "big")),
        "commands_in_data": b"\x01" + b"A\xff\xf1B\xff\xf9C\xff\xffD" + sb(106, b"\x60"),
        "command_inside_subnegotiation": b"\x04" + b"\xff\xfa\x2c\x65\xff\xfd\x05E",
        "long_subnegotiation": b"\x10" + b"\xff\xfa\x2c" + b"x" * 100 + b"\xff\xf0F",
        "signature_request": b"\x05" + sb(100, b"") + sb(100, b"ser2net"),
        "banner_before_options": b"\x08" + b"ser2net port 4001\r\n" + opening,
    }


def settings_file():
    lines = []
    for item in range(250):
        if item < 150:
            value = {0: "2", 5: "3", 7: "150", 15: "30", 40: "10", 100: "300",
                     101: "-1"}.get(item, "0")
        else:
            value = {150: "abc", 151: "  two blanks", 152: "a,b->c"}.get(item, "")
        lines.append(f"{item}    ->{value}")
    return ("\r\n".join(lines) + "\r\n").encode("latin-1")


def settingsfile_seeds():
    return {
        "written_by_program": settings_file(),
        "one_line": b"15    ->30\r\n",
        "text_with_arrow": b"150    ->a, b -> c\r\n",
        "two_lines_same_item": b"5    ->1\r\n5    ->3\r\n",
        "items_out_of_range": b"250    ->1\r\n300 ->2\r\n-1  ->3\r\n",
        "word_line": b"word ->7\r\n",
        "no_arrow": b"3    ->4\r\n9\r\n150 text\r\n",
        "lf_only_no_final_end": b"1    ->2\n150    ->x",
        "cr_in_value": b"150    ->a\rb\r\r\n",
        "huge_number": b"20    ->1e999\r\n",
        "latin1_text": "151    ->Grüße ÿ\r\n".encode("latin-1"),
        "nul_bytes": b"15\x00   ->3\x00\r\n\x00\x00\r\n",
    }


def setupfile_seeds():
    return {
        "written_by_program":
            b"0        Compoort ->1\r\n1      Logfile ->2\r\n2       SetPath ->\r\n3       UnitType ->3\r\n",
        "with_folder": b"0        Compoort ->4\r\n2       SetPath ->/home/u/Instellingen\r\n",
        "negative_entry_stops": b"0 ->2\r\n-1 ->x\r\n2 ->after\r\n",
        "entry_299_and_up": b"299 ->1\r\n2988->2\r\n298 ->3\r\n",
        "half_to_even": b"0 ->2.5\r\n1 ->3.5\r\n2.4 ->p\r\n",
        "no_arrow": b"2 ->a\r\n2 b\r\n",
        "lf_only": b"0 ->7\n2 ->x\n",
    }


def values_seeds():
    seeds = {name: text.encode("latin-1") for name, text in {
        "integer": "12", "blanks_inside": " 1 200", "negative_fraction": "-3.5",
        "exponent": "1e5", "half": "2.5", "word": "abc", "empty": "", "huge": "1e400",
        "tiny": "1e-400", "trailing_dot": "12.", "sign_only": "-", "exponent_no_digits": "3e",
        "tab": "\t7\t", "limits": "32767.5", "below": "-32768.5"}.items()}
    return seeds


def main():
    for target, seeds in {
        "fuzz_frames": frames_seeds(),
        "fuzz_answer": answer_seeds(),
        "fuzz_drain": drain_seeds(),
        "fuzz_telnet": telnet_seeds(),
        "fuzz_settingsfile": settingsfile_seeds(),
        "fuzz_settingssave": settingsfile_seeds(),
        "fuzz_setupfile": setupfile_seeds(),
        "fuzz_values": values_seeds(),
    }.items():
        folder = os.path.join(HERE, "corpus", target)
        os.makedirs(folder, exist_ok=True)
        for name, data in seeds.items():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()
