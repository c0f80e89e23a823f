#!/usr/bin/python3
"""ffgl-obs inside the real OBS Studio, under Xvfb, driven through obs-websocket 5.

obs_test.py CASE, with the built files named by the environment (tests/obs/CMakeLists.txt):
  flare    the flare's picture equals ffgl-host render's; a changed value shows within three
           frames; values out of range are clamped; a second start runs no plug-in
  hostile  crash, hang, exit and chatty plug-ins: OBS keeps answering, the source passes
           through (the chatty one's picture is its own), the log has the line
  cost     OBS's frame render time with and without the filter at 1280x720 and 1920x1080,
           the transport's time and the effect's own (not run by CTest)
  shot OUT the OBS window with the flare and the filter's properties, into OUT (PNG)
"""
import atexit, base64, json, os, shutil, signal, socket, subprocess, sys, tempfile, time

if not os.path.exists("/usr/bin/obs"):
    print("SKIP: obs is not installed (Debian: obs-studio)")
    sys.exit(77)
try:
    import websocket
except ImportError:
    print("SKIP: no websocket module for /usr/bin/python3 (Debian: python3-websocket)")
    sys.exit(77)

ENV = os.environ
WORK = tempfile.mkdtemp(prefix="ffgl-obs-")
W, H = 320, 240
VALUES = {"p0": 0.3, "p1": 0.6, "p2": 0.8, "p3": 7.0, "p4": 0.0, "p5": 0.0}  # p3 is clamped
SETS = ["Flare X=0.3", "Flare Y=0.6", "Intensity=0.8", "Size=1", "Auto Move=0", "Strobe=0"]


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def run(*command):
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def raw(pattern):  # PNG file(s) -> RGBA bytes, one frame after another
    return subprocess.run(["ffmpeg", "-v", "error", "-i", pattern, "-f", "rawvideo",
                           "-pix_fmt", "rgba", "-"], check=True, capture_output=True).stdout


def largest_difference(a, b):  # colour channels only: OBS's alpha may differ
    return max(max(map(abs, map(int.__sub__, a[c::4], b[c::4]))) for c in range(3))


def write_config(home, port, filter_kind, settings, width=W, height=H, name="Effect"):
    config = home + "/.config/obs-studio"
    for folder in ("basic/profiles/Test", "basic/scenes", "plugins/ffgl-obs/bin/64bit"):
        os.makedirs(config + "/" + folder, exist_ok=True)
    with open(config + "/global.ini", "w") as f:
        f.write("[General]\nFirstRun=true\nLastVersion=486539266\n[Basic]\nProfile=Test\n"
                "ProfileDir=Test\nSceneCollection=Test\nSceneCollectionFile=Test\n"
                "[OBSWebSocket]\nServerEnabled=true\nServerPort=%d\nAuthRequired=false\n"
                "FirstLoad=false\n" % port)
    with open(config + "/basic/profiles/Test/basic.ini", "w") as f:
        f.write("[General]\nName=Test\n[Video]\nBaseCX=%d\nBaseCY=%d\nOutputCX=%d\nOutputCY=%d\n"
                "FPSType=0\nFPSCommon=60\n" % (width, height, width, height))
    item = {"name": "Picture", "id": 1, "visible": True, "align": 5, "scale": {"x": 1, "y": 1}}
    filters = [{"id": filter_kind, "versioned_id": filter_kind, "name": name,
                "settings": settings}] if filter_kind else []
    scene = {"name": "Test", "current_scene": "Scene", "current_program_scene": "Scene",
             "scene_order": [{"name": "Scene"}], "sources": [
                 {"id": "scene", "versioned_id": "scene", "name": "Scene",
                  "settings": {"id_counter": 1, "items": [item]}},
                 {"id": "image_source", "versioned_id": "image_source", "name": "Picture",
                  "settings": {"file": "%s/pic_%dx%d.png" % (WORK, width, height)},
                  "filters": filters}]}
    with open(config + "/basic/scenes/Test.json", "w") as f:
        json.dump(scene, f)
    module = config + "/plugins/ffgl-obs/bin/64bit/ffgl-obs.so"
    if not os.path.exists(module):
        os.symlink(ENV["FFGL_OBS_MODULE"], module)
        os.symlink(ENV["FFGL_OBS_DATA"], config + "/plugins/ffgl-obs/data")
    picture = "%s/pic_%dx%d.png" % (WORK, width, height)
    if not os.path.exists(picture):
        run("ffmpeg", "-v", "error", "-f", "lavfi", "-i", "testsrc2=size=%dx%d" % (width, height),
            "-frames:v", "1", picture)


class Obs:
    """OBS started on a fresh configuration, with an obs-websocket connection."""

    def __init__(self, home, filter_kind, settings, env=None, width=W, height=H, tray=True,
                 name="Effect"):
        self.home = home
        port = free_port()
        write_config(home, port, filter_kind, settings, width, height, name)
        environment = dict(ENV, HOME=home, XDG_CACHE_HOME=home + "/.cache", **(env or {}))
        self.stderr = open(home + "/obs.stderr", "w")
        command = ["obs", "--multi", "--disable-missing-files-check", "--websocket_port", str(port)]
        self.process = subprocess.Popen(command + (["--minimize-to-tray"] if tray else []),
                                        env=environment, stdout=self.stderr, stderr=self.stderr,
                                        cwd=home)
        atexit.register(lambda process=self.process: process.poll() is None and process.kill())
        deadline = time.time() + 60
        while True:
            self.alive()
            try:
                self.ws = websocket.create_connection("ws://127.0.0.1:%d" % port, timeout=30)
                break
            except OSError:
                if time.time() > deadline:
                    fail("OBS opened no websocket port within 60 s")
                time.sleep(0.2)
        self.ws.recv()  # Hello
        self.ws.send(json.dumps({"op": 1, "d": {"rpcVersion": 1}}))
        self.ws.recv()  # Identified
        self.serial = 0

    def alive(self):
        if self.process.poll() is not None:
            fail("OBS ended (status %s); its output:\n%s" % (self.process.returncode, self.output()))

    def output(self):
        self.stderr.flush()
        return open(self.home + "/obs.stderr", errors="replace").read()[-4000:]

    def request(self, kind, **data):
        self.alive()
        self.serial += 1
        self.ws.send(json.dumps({"op": 6, "d": {"requestType": kind, "requestId": str(self.serial),
                                                "requestData": data}}))
        while True:
            answer = json.loads(self.ws.recv())
            if answer["op"] == 7 and answer["d"]["requestId"] == str(self.serial):
                status = answer["d"]["requestStatus"]
                if not status["result"]:
                    fail("%s: %s" % (kind, status))
                return answer["d"].get("responseData", {})

    def frames(self):
        return self.request("GetStats")["renderTotalFrames"]

    def wait_frames(self, count):
        target = self.frames() + count
        while self.frames() < target:
            time.sleep(0.005)

    def screenshot(self):
        data = self.request("GetSourceScreenshot", sourceName="Picture", imageFormat="png")
        path = self.home + "/shot.png"
        with open(path, "wb") as f:
            f.write(base64.b64decode(data["imageData"].split(",", 1)[1]))
        return raw(path)

    def log(self):
        folder = self.home + "/.config/obs-studio/logs"
        return "".join(open(folder + "/" + name, errors="replace").read()
                       for name in sorted(os.listdir(folder)))

    def close(self):
        self.alive()
        self.process.send_signal(signal.SIGINT)
        try:
            self.process.wait(30)
        except subprocess.TimeoutExpired:
            self.process.kill()
            fail("OBS did not end within 30 s of SIGINT")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def references(sets, first, count):
    """ffgl-host render's frames first .. first+count-1 for the test picture."""
    out = tempfile.mkdtemp(dir=WORK)
    command = [ENV["FFGL_HOST"], "render", ENV["QUELLIX"], "--input", WORK + "/pic_320x240.png",
               "-q", "--start", str(first), "-n", str(count), "--out", out]
    for value in sets:
        command += ["--set", value]
    run(*command)
    frames = raw(sorted_pattern(out))
    size = W * H * 4
    return [frames[i:i + size] for i in range(0, len(frames), size)]


def sorted_pattern(folder):
    name = sorted(os.listdir(folder))[0]
    digits = len(name.split(".")[0].lstrip("abcdefghijklmnopqrstuvwxyz_-"))
    prefix = name[:len(name.split(".")[0]) - digits]
    return "%s/%s%%0%dd.png" % (folder, prefix, digits)


def best_match(shot, obs, sets):
    """The filter's clock starts at its first frame, some time after OBS's: the closest of
    ffgl-host's frames up to OBS's frame count (ranked on every 97th byte, then compared
    whole)."""
    drawn = obs.frames()
    frames = references(sets, 0, drawn + 5)
    rough = [largest_difference(shot[::97], frame[::97]) for frame in frames]
    best = min(range(len(rough)), key=rough.__getitem__)
    return best, largest_difference(shot, frames[best])


def case_flare():
    home = WORK + "/home"
    obs = Obs(home, "ffgl_quellix_shine", VALUES)
    defaults = obs.request("GetSourceFilterDefaultSettings", filterKind="ffgl_quellix_shine")
    if sorted(defaults["defaultFilterSettings"]) != sorted(VALUES):
        fail("not the six parameters' defaults: %s" % defaults)
    for line in ("cannot read the plug-in folder %s/missing: No such file" % WORK,
                 "host_fixture_no_entry.so is not offered as a filter: it cannot be used: "):
        if line not in obs.log():
            fail("no line in OBS's log saying " + line)
    settings = obs.request("GetSourceFilter", sourceName="Picture", filterName="Effect")
    if settings["filterSettings"]["p3"] != 1.0:
        fail("Size 7 was not clamped to 1: %s" % settings["filterSettings"])
    picture, deadline = raw(WORK + "/pic_320x240.png"), time.time() + 30
    while largest_difference(obs.screenshot(), picture) < 64:  # the worker starts
        if time.time() > deadline:
            fail("no flare within 30 s")
        obs.wait_frames(5)
    frame, difference = best_match(obs.screenshot(), obs, SETS)
    print("screenshot = ffgl-host frame %d, largest channel difference %d" % (frame, difference))
    if difference > 2:
        fail("the screenshot differs from ffgl-host's frame by %d/255" % difference)
    # A new value shows within three frames.
    obs.request("SetSourceFilterSettings", sourceName="Picture", filterName="Effect",
                filterSettings={"p0": 0.7})
    obs.wait_frames(3)
    shot = obs.screenshot()
    frame, difference = best_match(shot, obs, ["Flare X=0.7"] + SETS[1:])
    print("after Flare X=0.7, three frames on: frame %d, difference %d" % (frame, difference))
    if difference > 2:
        fail("the new value did not show within three frames (difference %d)" % difference)
    obs.close()
    if "[ffgl-obs] Quellix Shine: " not in obs.log():
        fail("no summary line in OBS's log")
    print([l for l in obs.log().splitlines() if "[ffgl-obs] Quellix Shine: " in l][-1])
    # The second start describes nothing: the cache knows both plug-ins.
    obs = Obs(home, "ffgl_quellix_shine", VALUES)
    obs.wait_frames(30)
    obs.close()
    if "; 0 plug-in files described" not in obs.log().split("Quellix Shine (")[-1]:
        fail("the second start ran a plug-in to describe it")


def case_hostile():
    picture = raw(WORK + "/pic_320x240.png") if os.path.exists(WORK + "/pic_320x240.png") else None
    for mode, line in (("crash:17", "crashed"), ("hang:17", "did not return"),
                       ("exit:17", "exit"), ("chatty", "keeps printing")):
        home = WORK + "/" + mode.replace(":", "_")
        obs = Obs(home, "ffgl_hostile", {"p0": 0.5},
                  env={"HOSTILE_MODE": mode, "FFGL_OBS_TIMEOUT": "2"})
        picture = picture or raw(WORK + "/pic_320x240.png")
        deadline = time.time() + 8
        ours = []
        while not ours and time.time() < deadline:
            obs.wait_frames(10)
            ours = [l for l in obs.log().splitlines()
                    if "source is shown unfiltered" in l or "keeps printing" in l]
        obs.wait_frames(10)
        print("%s: %s" % (mode, ours[0] if ours else "no line in OBS's log"))
        if len(ours) != 1 or line not in ours[0]:
            fail("%s: expected one line saying '%s'" % (mode, line))
        # A failed plug-in's source passes through; the chatty one draws nothing (black).
        expected = picture if mode != "chatty" else bytes(len(picture))
        difference = largest_difference(obs.screenshot(), expected)
        if difference > 2:
            fail("%s: not the expected picture (difference %d)" % (mode, difference))
        obs.request("GetVersion")
        obs.close()
        if mode == "chatty" and "[ffgl-obs: Hostile] chatty: code 17" not in obs.log():
            fail("the chatty plug-in's lines did not reach OBS's log")


def case_cost():
    for width, height in ((1280, 720), (1920, 1080)):
        times = []
        for kind in (None, "ffgl_quellix_shine"):
            home = "%s/cost_%d_%s" % (WORK, width, kind)
            obs = Obs(home, kind, VALUES, width=width, height=height)
            time.sleep(10)
            times.append(obs.request("GetStats")["averageFrameRenderTime"])
            obs.close()
        summary = [l for l in obs.log().splitlines() if "[ffgl-obs] Quellix Shine: " in l][-1]
        start = time.time()
        run(ENV["FFGL_HOST"], "render", ENV["QUELLIX"], "-q", "--size", "%dx%d" % (width, height),
            "-n", "120", "--out", "%s/cost_%d.png" % (WORK, width), *sum([["--set", v] for v in SETS], []))
        own = (time.time() - start) * 1000 / 120
        print("%dx%d: OBS renders a frame in %.2f ms without the filter, %.2f ms with it; "
              "ffgl-host render %.1f ms a frame; %s" % (width, height, times[0], times[1], own,
                                                        summary.split(": ", 2)[2]))
    print("load average: " + open("/proc/loadavg").read().strip())


def case_shot():
    obs = Obs(WORK + "/shot", "ffgl_quellix_shine", VALUES, width=640, height=360, tray=False,
              name="Quellix Shine")
    obs.wait_frames(300)
    obs.request("OpenInputFiltersDialog", inputName="Picture")
    obs.wait_frames(120)
    run("import", "-window", "root", "-crop", "1080x735+0+0", sys.argv[2])
    obs.close()


def main():
    os.makedirs(WORK + "/plugins")
    for path in (ENV["QUELLIX"], ENV["HOSTILE"], ENV["NO_ENTRY"]):
        os.symlink(path, WORK + "/plugins/" + os.path.basename(path))
    ENV["FFGL_PLUGIN_PATH"] = WORK + "/missing:" + WORK + "/plugins"
    write_config(WORK + "/unused", 1, None, {})  # the test pictures
    {"flare": case_flare, "hostile": case_hostile, "cost": case_cost,
     "shot": case_shot}[sys.argv[1]]()
    print("PASS")
    shutil.rmtree(WORK, ignore_errors=True)


if __name__ == "__main__":
    main()
