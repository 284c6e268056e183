#!/usr/bin/env python3
"""Writes the fuzz targets' seed corpora (fuzz/corpus/<target>/): small valid examples of each
format, so the fuzzer starts from inputs the readers accept. Run again after a format changes;
the MP3 seeds come from the project's own clip generator.

usage: fuzz/make-corpus.py PATH/TO/velora-clipgen
"""
import io
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import wave
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "corpus")


def put(target, name, data):
    folder = os.path.join(CORPUS, target)
    os.makedirs(folder, exist_ok=True)
    if isinstance(data, str):
        data = data.encode("utf-8")
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


# The card's frame checksum: a table linear over XOR, built from the eight single bits.
BITS = [0x31, 0x62, 0xC4, 0x88, 0x21, 0x73, 0xE6, 0xCC]
TABLE = []
for i in range(256):
    v = 0
    for b in range(8):
        if i & (1 << b):
            v ^= BITS[b]
    TABLE.append(v)


def checksum(frame):
    c = 0
    for byte in frame:
        c = TABLE[byte ^ c]
    return c ^ 0xFF


def signed(frame):
    frame = bytearray(frame[:63].ljust(63, b"\0"))
    return bytes(frame) + bytes([checksum(frame)])


def params_frame(entries, flag=0):
    f = bytearray(63)
    f[0] = 0x9E
    f[3] = flag
    f[4] = len(entries)
    at = 5
    for pid, group, value in entries:
        f[at:at + 3] = bytes([pid, (group << 4) | ((value >> 8) & 0x0F), value & 0xFF])
        at += 3
    return signed(f)


def levels_frame(values):
    f = bytearray(63)
    f[0] = 0x1F
    f[4] = len(values)
    for i, v in enumerate(values):
        f[5 + 2 * i:7 + 2 * i] = struct.pack("<H", v)
    return signed(f)


def report_descriptors():
    vendor = bytes.fromhex("0600ff0901a101")
    body = bytes.fromhex("150026ff0075089540" "0901" "8102" "9540" "0901" "9102" "c0")
    put("report_descriptor", "vendor64", vendor + body)
    put("report_descriptor", "vendor64_id", vendor + bytes.fromhex("8501") + body)
    put("report_descriptor", "two_reports",
        vendor + bytes.fromhex("8501150026ff00750895400901810285029520090191") + b"\x02\xc0")


def card_frames():
    # key (seed, modulus, multiplier, increment, length), awaited code, frame
    key = struct.pack("<HBHBh", 100, 20, 3, 7, 59)
    reply = bytearray(63)
    reply[0] = 0x0F  # answer to the key exchange
    reply[3] = 0xFF
    for i, at in enumerate((6, 14, 16, 25, 30, 37)):
        reply[at] = 0x11 * (i + 1)
    put("card_frame", "key_reply", key + bytes([0x0F]) + signed(reply))
    put("card_frame", "params", key + bytes([0x9E]) + params_frame([(10, 0, 100), (31, 1, 4095)]))
    put("card_frame", "levels", bytes(9) + levels_frame([100, 2000, 65535]))
    info = bytearray(63)
    info[0] = 0x03
    info[3] = 0xFF
    info[4:10] = bytes([1, 2, 3, 4, 5, 6])
    put("card_frame", "info_reply", key + bytes([0x03]) + signed(info))


def card_reports():
    put("card_report", "params", params_frame([(10, 0, 100), (31, 0, 20), (7, 0, 5)]))
    put("card_report", "levels", levels_frame([0, 1000, 30000, 65535]))
    put("card_report", "sequence",
        params_frame([(1, 0, 4095)]) + levels_frame([5, 6]) + params_frame([(2, 1, 0)] * 19))


def utf16_ini(lines):
    return b"\xff\xfe" + "\r\n".join(lines).encode("utf-16-le") + "\r\n".encode("utf-16-le")


def struct_value(data):
    return data.hex().upper() + "%02X" % (sum(data) % 256)


def settings_files():
    put("profile", "plain", utf16_ini(["[Settings]", "CloseBtnOperation=1", "MainWinTopmost=0",
                                       "HotKey=0x20041", "", "[LastStatus]", "Name=\"效果\"",
                                       "Time=-12abc"]))
    put("profile", "structs", utf16_ini(["[DownloadEffect]", "count=2",
                                         "0=" + struct_value(bytes(range(4))),
                                         "1=" + struct_value(bytes(76)), "; comment",
                                         "[Empty]"]))
    put("profile", "utf8_no_bom", "[Settings]\nSoundTrack=2\n [ Spaced ] \n key = value \n")
    record = bytearray(1560)
    record[0:4] = struct.pack("<i", 1)
    put("settings_store", "effects", utf16_ini([
        "[Settings]", "CloseBtnOperation=1", "SoundTrack=0",
        "[LastStatus]", "CurrentEffect=" + struct_value(bytes(record)),
        "[MyCustomEffect]", "0=" + struct_value(bytes(record)),
        "[CustomPreset]", "1=" + struct_value(bytes(168)),
        "[DownloadEffect]", "count=1", "0=" + struct_value(bytes(784))]))
    put("settings_store", "empty_bom", b"\xff\xfe")


def mood_item(kind, name, hotkey, cloud_id, path2=""):
    data = struct.pack("<i", kind) + name.encode("utf-16-le").ljust(64, b"\0")[:64]
    data += struct.pack("<Ii", hotkey, cloud_id)
    if path2:
        data += path2.encode("utf-16-le").ljust(4, b"\0")[:4]
    return data


def mood_files():
    put("mood_file", "lists", utf16_ini([
        "[HotkeyMood]", "count=2",
        "0=" + struct_value(mood_item(0, "掌声", 0x20031, 0)),
        "1=" + struct_value(mood_item(1, "my clip", 0, 0)),
        "[HotkeyMoodPath]", "0=applause", "1=/home/user/clip.mp3",
        "[DIY]", "count=1", "0=" + struct_value(mood_item(1, "diy", 0, 0)),
        "[DIYPath]", "0=/tmp/a.mp3",
        "[Download]", "count=1", "0=" + struct_value(mood_item(2, "云", 0, 1001)),
        "[DownloadPath]", "0=http://127.0.0.1:8080/files/sound/1001.mp3"]))
    put("mood_file", "last_played", utf16_ini([
        "[LastPlayMood]", "0=" + struct_value(mood_item(0, "笑声", 0, 0, "la")),
        "[LastPlayMoodPath]", "0=laugh", "[LastPlayMoodTotal]", "MoodTotalTime=12",
        "[Config]", "Volume=80", "EnableHotKey=1"]))


def effect_file(param_size=16, params=((10, 0, 100, 50.0), (31, 0, 100, 20.0)), a=9, b=20, c=5):
    sec_a = bytes(range(8 * a)) if a else b""
    sec_b = bytes((i * 7) & 0xFF for i in range(8 * b))
    sec_c = bytes((i * 3) & 0xFF for i in range(24 * c))
    param_bytes = b"".join(
        struct.pack("<Iiif", n, lo, hi, v).ljust(param_size, b"\0") for n, lo, hi, v in params)
    header = struct.pack("<10I", 2, 0, param_size, len(param_bytes), 8, 8, 24,
                         len(sec_a), len(sec_b), len(sec_c))
    return header + sec_a + sec_b + sec_c + param_bytes


def effect_files():
    put("effect_file", "small", effect_file())
    put("effect_file", "wide_params", effect_file(param_size=28, params=((7, -5, 5, 1.0),)))
    put("effect_file", "no_section_a", effect_file(a=0, b=3, c=1))


def step_xml(version="2.4", hardware="1.0", steps=(("0.0-9.9", "2.4", "fw_2.4.bin"),)):
    xml = '<?xml version="1.0"?>\n<FirmwareInfo>\n'
    xml += '  <Hardware%s Firm="LyntFirm"/>\n' % hardware
    xml += "  <LyntFirm>\n    <Version>%s</Version>\n" % version
    xml += '    <Steps HardwareVer="%s" Count="%d">\n' % (hardware, len(steps))
    for i, (need, ver, name) in enumerate(steps):
        xml += '      <Step%d NeedVersion="%s" Version="%s" File="%s"/>\n' % (i + 1, need, ver,
                                                                                  name)
    xml += "    </Steps>\n  </LyntFirm>\n</FirmwareInfo>\n"
    return xml


def firmware_files():
    one = step_xml()
    two = step_xml(steps=(("0.0-1.9", "L2.4", "loader.bin"), ("0.0-9.9", "2.4", "fw_2.4.bin")))
    put("step_file", "one_step.xml", one)
    put("step_file", "two_steps.xml", two)
    put("step_file", "gbk.xml", step_xml().replace("LyntFirm", "固件").encode("gbk"))
    for name, xml in (("one_step.zip", one), ("two_steps.zip", two)):
        buffer = io.BytesIO()
        with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr("steps.xml", xml)
            z.writestr("fw_2.4.bin", b"LYFW\x18" + bytes(range(200)))
            if "loader" in xml:
                z.writestr("loader.bin", b"LYFW\x18" + bytes(100))
        put("firmware_package", name, buffer.getvalue())
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_STORED) as z:
        z.writestr("STEPS.XML", one)
        z.writestr("fw_2.4.bin", b"\x01" * 60)
    put("firmware_package", "stored_upper.zip", buffer.getvalue())


def dumps(value):
    return json.dumps(value, ensure_ascii=False, separators=(",", ":"))


def json_answers():
    base = "http://127.0.0.1:8080"
    put("firmware_check", "ok.json", dumps({"message": "ok", "data": {
        "currentVer": 2003000, "url": base + "/files/firmware/package.zip"}}))
    put("firmware_check", "not_ok.json", dumps({"message": "服务器维护中", "data": None}))
    put("cloud_categories", "ok.json", dumps({"message": "ok", "data": [
        {"id": 1, "categoryName": "搞笑"}, {"id": 2, "categoryName": "Applause"},
        {"id": "3", "categoryName": 4}]}))
    put("cloud_categories", "not_ok.json", dumps({"message": "服务器维护中", "data": []}))
    put("cloud_clips", "ok.json", dumps({"message": "ok", "data": [
        {"id": 1001, "name": "掌声", "url": base + "/files/sound/1001.mp3"},
        {"id": 1002, "name": "x" * 40, "url": "http://elsewhere/files/sound/1002.mp3"}]}))
    put("cloud_clips", "empty.json", dumps({"message": "ok"}))
    put("json_reader", "object.json", dumps({"a": [1, -2, 3.5, 1e300, True, None, "é\u0001"],
                                              "id": 4294967296, "message": "ok",
                                              "data": {"nested": [[{"k": []}]]}}))
    put("json_reader", "array.json", "[0, -9223372036854775808, 18446744073709551615, 1.5e-7]")
    put("json_reader", "scalar.json", '"text \\ud83d\\ude00 \\n"')
    put("panel_request", "set.json", dumps({"words": ["set", "mic", "50"], "json": False,
                                            "progress": False}))
    put("panel_request", "monitor.json", dumps({"words": ["monitor", "--levels"], "json": True}))
    put("panel_request", "send_effect.json", dumps({"words": ["send-effect", "/tmp/效果.eff"],
                                                    "json": False, "progress": True}))
    put("panel_answer", "done", '{"out":"mic 50"}\n{"err":"note"}\n{"status":0}\n')
    put("panel_answer", "refused", '{"err":"the card is busy"}\n{"status":4}\n')
    put("panel_answer", "card_gone",
        '{"err":"the card did not take set\\n"}\n{"status":3,"card_gone":true}\n')
    put("panel_answer", "info_versions",
        dumps({"out": dumps({"type": "info", "hardware_version": "1.0",
                             "firmware_version": "2.3"}) + "\n"}) + '\n{"status":0}\n')


def effect_lists():
    put("effect_list", "two_lists.xml",
        '<?xml version="1.0" encoding="utf-8"?>\n<AudioRack><Effect>'
        '<Items Name="常用" Collapse="0"><Item Name="KTV" Path="7"/><Item Name="电音" Path="12x"/>'
        '</Items><Items Name="Live &amp; more" Collapse="1"/></Effect><Other keep="1"/></AudioRack>\n')
    put("effect_list", "cases.xml", "<audiorack><EFFECT><items name=\"a\"><ITEM NAME=\"b\" path=\"3\"/>"
        "</items></EFFECT></audiorack>")
    put("effect_list", "no_effect.xml", "<AudioRack><Settings/></AudioRack>")


def cloud_effect_answers():
    base = "http://127.0.0.1:8080/tuning/files/effect/"
    put("cloud_effects", "ok.json", dumps({"message": "ok", "data": [
        {"categoryName": "男声", "soundName": "KTV & 混响", "url": base + "1.eff"},
        {"categoryName": "Live", "soundName": "x" * 70, "url": base + "2.eff?v=3#top"},
        {"categoryName": "..", "soundName": "up", "url": "ftp://elsewhere/3.eff"}]}))
    put("cloud_effects", "not_ok.json", dumps({"message": "服务器维护中", "data": []}))
    put("cloud_effects", "no_data.json", dumps({"message": "OK"}))


def download_marks():
    put("download_ini", "marks.ini", utf16_ini(["[Download]", "1.eff=1", "男声.eff=0", "2.eff=x"]))
    put("download_ini", "utf8.ini", "[Download]\n1.eff = 1\n[Other]\nfuzz.eff=0\n")


def panel_frames():
    body = dumps({"words": ["set", "mic", "50"], "json": False, "progress": False})
    put("panel_frame", "set", "CTL %d\n%s" % (len(body.encode()), body))
    put("panel_frame", "spaced", "CTL  %d \r\n%s" % (len(body.encode()), body))
    put("panel_frame", "too_large", "CTL 16385\n")
    put("panel_frame", "no_length", "CTL -3\n{}")


def wave_bytes(channels, rate, width, frames):
    buffer = io.BytesIO()
    with wave.open(buffer, "wb") as w:
        w.setnchannels(channels)
        w.setsampwidth(width)
        w.setframerate(rate)
        w.writeframes(bytes((i * 37) & 0xFF for i in range(frames * channels * width)))
    return buffer.getvalue()


def wave_files():
    put("wave_file", "mono8.wav", wave_bytes(1, 8000, 1, 64))
    put("wave_file", "stereo16.wav", wave_bytes(2, 44100, 2, 64))
    put("wave_file", "stereo32.wav", wave_bytes(2, 48000, 4, 16))
    # A chunk before "fmt " that the reader must step over.
    plain = wave_bytes(1, 22050, 2, 32)
    extra = b"LIST" + struct.pack("<I", 6) + b"INFOab"
    body = plain[12:]
    put("wave_file", "list_chunk.wav",
        b"RIFF" + struct.pack("<I", 4 + len(extra) + len(body)) + b"WAVE" + extra + body)


def mp3_files(clipgen):
    with tempfile.TemporaryDirectory() as tmp:
        # Stereo 64 kbit/s at an MPEG-1 and an MPEG-2 rate (the encoder's tag frame needs it).
        for name, args in (("stereo_44k.mp3", ["--rate", "44100"]),
                           ("stereo_32k.mp3", ["--rate", "32000"]),
                           ("stereo_22k.mp3", ["--rate", "22050"])):
            args += ["--channels", "2", "--kbps", "64"]
            out = os.path.join(tmp, name)
            subprocess.run([clipgen, "--tone", "440", "--seconds", "0.1", "--out", out] + args,
                           check=True)
            with open(out, "rb") as f:
                data = f.read()
            put("clip_mp3", name, data)
            put("engine_mp3", name, data)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    if os.path.isdir(CORPUS):
        shutil.rmtree(CORPUS)
    report_descriptors()
    card_frames()
    card_reports()
    settings_files()
    mood_files()
    effect_files()
    firmware_files()
    json_answers()
    effect_lists()
    cloud_effect_answers()
    download_marks()
    panel_frames()
    wave_files()
    mp3_files(sys.argv[1])


if __name__ == "__main__":
    main()
