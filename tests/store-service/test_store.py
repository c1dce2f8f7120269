"""The project's store as the run command starts it: its catalogue made by
make_catalogue.py into a fresh folder and served by store.py --catalogue.
The songs are read back by peers (mido, mutagen), the replies as the
program's store client reads them."""
import hashlib
import http.client
import json
import os
import re
import select
import selectors
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import urllib.error
import urllib.parse
import urllib.request
import xml.etree.ElementTree as ET

import mido
from mutagen.id3 import ID3

SERVICE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "store-service")


def start(*args):
    process = subprocess.Popen([sys.executable, os.path.join(SERVICE, "store.py")] + list(args),
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    line = process.stdout.readline()
    return process, line


class StoreService(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        subprocess.run([sys.executable, os.path.join(SERVICE, "make_catalogue.py"), cls.folder.name], check=True,
                       stdout=subprocess.DEVNULL)
        cls.process, line = start("--catalogue", cls.folder.name)
        cls.port = int(line.split()[1])
        cls.base = "http://127.0.0.1:%d" % cls.port

    @classmethod
    def tearDownClass(cls):
        cls.process.terminate()
        cls.process.wait()
        cls.folder.cleanup()

    def post(self, path, **form):
        body = urllib.parse.urlencode(form).encode()
        with urllib.request.urlopen(self.base + path, body) as reply:
            return ET.fromstring(reply.read())

    def get(self, url):
        with urllib.request.urlopen(url) as reply:
            return reply.read()

    def test_only_loopback(self):
        for host in ("0.0.0.0", "192.168.1.10", "::", "example.org"):
            process, _ = start("--host", host)
            self.assertEqual(process.wait(timeout=30), 2, host)
            self.assertIn("loopback", process.stderr.read())
            process.stdout.close()
            process.stderr.close()
        # "localhost" is the loopback address, and the addresses handed out
        # name it.
        process, line = start("--host", "localhost", "--catalogue", self.folder.name)
        try:
            record = ET.fromstring(self.get("http://localhost:%s/version_checker/check_soundfont.php" % line.split()[1]))
            self.assertTrue(record.findtext(".//url_update").startswith("http://127.0.0.1:" + line.split()[1] + "/"))
        finally:
            process.terminate()
            process.wait()
            process.stdout.close()
            process.stderr.close()

    def raw(self, request, port=None, wait=10):
        """The reply to bytes sent as they stand, read until the server closes."""
        with socket.create_connection(("127.0.0.1", port or self.port), timeout=wait) as s:
            s.sendall(request)
            s.shutdown(socket.SHUT_WR)
            reply = b""
            while True:
                piece = s.recv(65536)
                if not piece:
                    return reply
                reply += piece

    def test_malformed_requests(self):
        # Bad lengths get 400 or 413 and the server goes on serving; so do
        # digits that are no ASCII digits (a header is read as Latin-1:
        # "\xb2" is "²", "\xd9\xa3" the UTF-8 of "٣").
        for length, code in ((b"abc", 400), (b"-5", 400), (b"1e3", 400), (b"99999999999999999999", 413),
                             (str(2 << 20).encode(), 413), (b"\xb2", 400), (b"1\xb9", 400), (b"\xd9\xa3", 400)):
            reply = self.raw(b"POST /service/songlist.php HTTP/1.1\r\nHost: x\r\nContent-Length: "
                             + length + b"\r\n\r\nlang=2")
            self.assertTrue(reply.startswith(b"HTTP/1.1 %d " % code), (length, reply[:80]))
        # A NUL in a name is refused, not tried on the file system.
        for path in (b"/files/a%00b", b"/img/%00", b"/files/%00.mid"):
            reply = self.raw(b"GET " + path + b" HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
            self.assertTrue(reply.startswith(b"HTTP/1.1 400 "), (path, reply[:80]))
        self.assertIn(b"Error code: 400", self.raw(b"GET / HTTP/x.y\r\n\r\n"))
        self.assertTrue(self.raw(b"GET /x HTTP/1.1\r\n" + b"X-Long: " + b"y" * 70000 + b"\r\n\r\n")
                        .split(b" ")[1] in (b"400", b"431"))
        self.assertTrue(self.post("/service/songlist_news.php", lang="2").findall(".//song"))

    def test_every_request_answered(self):
        # Numbers that are none, bytes that are no text and sizes beyond
        # reach get an answer, never a connection closed without one; what
        # was refused changes nothing.
        process, line = start("--control")
        port = int(line.split()[1])
        self.addCleanup(self.stop, process)

        def ask(path, body=None):
            head = ("%s %s HTTP/1.1\r\nHost: x\r\nConnection: close\r\n" % ("POST" if body else "GET", path)).encode()
            if body:
                head += b"Content-Length: %d\r\n" % len(body)
            reply = self.raw(head + b"\r\n" + (body or b""), port)
            self.assertTrue(reply.startswith(b"HTTP/1.1 "), (path, body, reply[:80]))
            return int(reply.split(b" ")[1]), reply

        for path, body, code in (("/files/bytes/-5", None, 404), ("/files/bytes/4x", None, 404),
                                 ("/_control/fault?path=/files/bytes/8&mode=oversized&size=abc", None, 400),
                                 ("/_control/fault?path=/files/bytes/8&mode=trickle&chunk=0", None, 400),
                                 ("/_control/fault?path=/files/bytes/8&mode=drop&times=-1", None, 400),
                                 ("/_control/release?count=zz", None, 400),
                                 ("/_control/reply?path=/service/logout.php&status=2OO", b"<x/>", 400),
                                 ("/_control/account", b"\xff\xfe", 400),
                                 ("/files/bytes/8", None, 200), ("/service/logout.php", None, 200),
                                 # Too large to serve: the answer fails before it begins.
                                 ("/files/bytes/" + "9" * 30, None, 500)):
            self.assertEqual(ask(path, body)[0], code, (path, body))
        self.assertEqual(ask("/_control/account", b"psw=%C3%A9t%C3%A9")[0], 200)
        self.assertIn(b"<user_id>42<", ask("/service/login.php", "email=anna@example.org&psw=été".encode())[1])

    def test_foreign_host_header(self):
        # The addresses handed out name the server itself, whatever Host says.
        reply = self.raw(b"GET /version_checker/check_soundfont.php HTTP/1.1\r\nHost: evil.example\r\n"
                         b"Connection: close\r\n\r\n")
        self.assertNotIn(b"evil.example", reply)
        self.assertIn(("<url_update>%s/files/" % self.base).encode(), reply)
        banners = self.raw(b"GET /banners/get_banners.php HTTP/1.1\r\nHost: evil.example\r\nConnection: close\r\n\r\n")
        self.assertNotIn(b"evil.example", banners)

    def test_half_sent_requests_time_out(self):
        folder = tempfile.TemporaryDirectory()
        process, line = start("--idle-timeout", "1", "--files", folder.name)
        port = int(line.split()[1])
        try:
            stalled = []
            for _ in range(50):
                s = socket.create_connection(("127.0.0.1", port))
                s.sendall(b"POST /service/login.php HTTP/1.1\r\nHost: x\r\nContent-Length: 100\r\n\r\nemail=")
                stalled.append(s)
            threads = lambda: len(os.listdir("/proc/%d/task" % process.pid))
            # Each stalled connection is closed by the server; its thread ends.
            for s in stalled:
                s.settimeout(30)
                self.assertEqual(s.recv(100), b"")
                s.close()
            deadline = time.monotonic() + 30
            while threads() > 5 and time.monotonic() < deadline:
                time.sleep(0.1)
            self.assertLessEqual(threads(), 5)
            with urllib.request.urlopen("http://127.0.0.1:%d/service/service_status.php" % port, b"") as reply:
                self.assertIn(b"online", reply.read())
        finally:
            process.terminate()
            process.wait()
            process.stdout.close()
            process.stderr.close()
            folder.cleanup()

    def test_dripping_request_cut_off(self):
        # A client that sends a byte now and then, never silent for the idle
        # timeout, gets 408 once the request's time is up.
        process, line = start("--idle-timeout", "3", "--request-timeout", "2")
        port = int(line.split()[1])
        self.addCleanup(self.stop, process)
        request = b"POST /service/login.php HTTP/1.1\r\nHost: x\r\nContent-Length: 100\r\n\r\nemail=a"
        with socket.create_connection(("127.0.0.1", port), timeout=30) as s:
            began = time.monotonic()
            reply = b""
            for byte in request:
                try:
                    s.sendall(bytes([byte]))
                except OSError:
                    break
                ready, _, _ = select.select([s], [], [], 0.5)
                if ready:
                    break
                if time.monotonic() - began > 20:
                    break
            while time.monotonic() - began < 20:
                piece = s.recv(4096)
                if not piece:
                    break
                reply += piece
            self.assertTrue(reply.startswith(b"HTTP/1.1 408 "), reply[:80])
            self.assertLess(time.monotonic() - began, 15)

    def test_many_slow_senders(self):
        # Clients that announce a large body and drip it hold neither the
        # memory nor the threads, and a normal request is answered meanwhile.
        places = 16
        process, line = start("--max-connections", str(places), "--request-timeout", "60", "--idle-timeout", "60")
        port = int(line.split()[1])
        self.addCleanup(self.stop, process)
        resident = lambda: self.resident(process.pid)
        threads = lambda: len(os.listdir("/proc/%d/task" % process.pid))
        before = resident()
        senders = []
        self.addCleanup(lambda: [s.close() for s in senders])
        for _ in range(300):
            s = socket.create_connection(("127.0.0.1", port), timeout=30)
            s.sendall(b"POST /service/login.php HTTP/1.1\r\nHost: x\r\nContent-Length: 1048576\r\n\r\nemail=")
            senders.append(s)
        deadline = time.monotonic() + 30
        most_threads = 0
        while time.monotonic() < deadline:
            most_threads = max(most_threads, threads())
            if self.answered(port):
                break
        else:
            self.fail("no answer while slow senders held the store")
        time.sleep(0.5)
        most_threads = max(most_threads, threads())
        self.assertLessEqual(most_threads, places + 8)
        self.assertLess(resident() - before, 30 << 20)
        # Those that kept their place drip on; the newest still are served.
        for s in senders[-places // 2:]:
            s.sendall(b"x")
        self.assertTrue(self.answered(port))

    def test_many_slow_downloads(self):
        # Clients that take a large file slowly (the sound bank, and a file
        # of --files ten times its size) hold no more than a piece of it each
        # in the store's memory, and a normal request is answered meanwhile.
        files = tempfile.TemporaryDirectory()
        self.addCleanup(files.cleanup)
        with open(os.path.join(files.name, "large.bin"), "wb") as f:
            f.truncate(64 << 20)
        for args, path in ((("--catalogue", self.folder.name), "/files/Basic.sfc"),
                           (("--files", files.name), "/files/large.bin")):
            process, line = start(*args)
            port = int(line.split()[1])
            self.addCleanup(self.stop, process)
            readers = self.slow_readers(port, path, 64)
            for s in readers:
                self.assertTrue(s.recv(4096).startswith(b"HTTP/1.1 200 "), path)
            self.assertTrue(self.answered(port), path)
            self.assertLess(self.resident(process.pid), 100 << 20, path)
            # Each goes on where it stood.
            for s in readers[:4]:
                s.settimeout(30)
                self.assertTrue(s.recv(4096))

    def slow_readers(self, port, path, count):
        """`count` clients that ask for `path` and read nothing yet."""
        readers = []
        self.addCleanup(lambda: [s.close() for s in readers])
        for _ in range(count):
            s = socket.socket()
            # A reader with a small window: the store's writes wait on it.
            s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
            s.settimeout(30)
            s.connect(("127.0.0.1", port))
            s.sendall(("GET %s HTTP/1.1\r\nHost: x\r\n\r\n" % path).encode())
            readers.append(s)
        return readers

    # A normal request is answered within a second whatever the local
    # clients do; twice that on a busy machine. A client kept out waits far
    # longer (the system tries a connection again after 1, 3, 7 and 15
    # seconds).
    LONGEST_WAIT = 2

    def normal_requests(self, port, seconds):
        """The longest of the service-status requests sent one after the
        other for `seconds`, each of which must be answered."""
        waits = []
        until = time.monotonic() + seconds
        while time.monotonic() < until:
            began = time.monotonic()
            self.assertTrue(self.answered(port, timeout=30))
            waits.append(time.monotonic() - began)
        print("%s: %d normal requests, the longest %.3f s" % (self.id().split(".")[-1], len(waits), max(waits)),
              file=sys.stderr)
        return max(waits)

    def test_reconnecting_slow_senders(self):
        # 300 clients that announce a large body and drip it, each coming back
        # at once when its connection ends: a normal request is answered
        # meanwhile at once, every time, within bounded memory and threads.
        process, line = start("--request-timeout", "8")
        port = int(line.split()[1])
        self.addCleanup(self.stop, process)
        before = self.resident(process.pid)
        stop = threading.Event()
        ends = [0]

        def senders():
            chooser = selectors.DefaultSelector()

            def come():
                s = socket.socket()
                s.setblocking(False)
                s.connect_ex(("127.0.0.1", port))
                chooser.register(s, selectors.EVENT_WRITE, [b"POST /service/login.php HTTP/1.1\r\nHost: x\r\n"
                                                            b"Content-Length: 1048576\r\n\r\nemail="])

            for _ in range(300):
                come()
            drip = time.monotonic()
            while not stop.is_set():
                for key, event in chooser.select(0.05):
                    s = key.fileobj
                    try:
                        if event & selectors.EVENT_READ and not s.recv(4096):
                            raise ConnectionError()
                        if event & selectors.EVENT_WRITE and key.data[0]:
                            s.send(key.data[0])
                            key.data[0] = b""
                            chooser.modify(s, selectors.EVENT_READ, key.data)
                    except OSError:
                        # Ended: back at once.
                        chooser.unregister(s)
                        s.close()
                        ends[0] += 1
                        come()
                # A byte now and then from each, never silent.
                if time.monotonic() - drip > 0.5:
                    drip = time.monotonic()
                    for key in list(chooser.get_map().values()):
                        if not key.data[0]:
                            try:
                                key.fileobj.send(b"x")
                            except OSError:
                                pass
            for key in list(chooser.get_map().values()):
                key.fileobj.close()

        thread = threading.Thread(target=senders, daemon=True)
        thread.start()
        self.addCleanup(lambda: (stop.set(), thread.join()))
        time.sleep(2)
        # Through two rounds of the senders' request time.
        self.assertLess(self.normal_requests(port, 18), self.LONGEST_WAIT)
        self.assertGreater(ends[0], 0)
        self.assertLessEqual(len(os.listdir("/proc/%d/task" % process.pid)), 72)
        self.assertLess(self.resident(process.pid) - before, 30 << 20)

    def test_full_waiting_list_evicts_the_oldest(self):
        # Four places for connections still sending their requests, all
        # taken by senders that stopped half-way: a fifth client's request
        # is answered, and the sender that has waited longest is the one
        # sent away to make room; the others keep their places.
        # Nothing sent away for its own slowness meanwhile.
        process, line = start("--max-waiting", "4", "--idle-timeout", "300", "--request-timeout", "300")
        port = int(line.split()[1])
        self.addCleanup(self.stop, process)
        stalled = []
        for _ in range(4):
            s = socket.create_connection(("127.0.0.1", port), timeout=30)
            self.addCleanup(s.close)
            s.sendall(b"GET /service/service_status.php HTTP/1.1\r\nHost: x\r\n")
            stalled.append(s)
            # Taken in by the loop before the next comes, so that they wait
            # in this order.
            time.sleep(0.3)
        reply = self.raw(b"POST /service/service_status.php HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\n\r\n", port)
        self.assertTrue(reply.startswith(b"HTTP/1.1 200") or reply.startswith(b"HTTP/1.0 200"), reply[:80])
        readable, _, _ = select.select([stalled[0]], [], [], 30)
        self.assertEqual(readable, [stalled[0]])
        self.assertEqual(stalled[0].recv(4096), b"")
        readable, _, _ = select.select(stalled[1:], [], [], 0)
        self.assertEqual(readable, [])

    def test_slow_readers_of_the_bank(self):
        # 200 clients that read the sound bank slowly: those beyond the
        # transfers' places are told at once to come again (503), those
        # within go on, and a normal request is answered at once, every time.
        process, line = start("--catalogue", self.folder.name)
        port = int(line.split()[1])
        self.addCleanup(self.stop, process)
        readers = self.slow_readers(port, "/files/Basic.sfc", 200)
        heads = [s.recv(4096) for s in readers]
        taking = [s for s, head in zip(readers, heads) if head.startswith(b"HTTP/1.1 200 ")]
        told = [head for head in heads if head.startswith(b"HTTP/1.1 503 ")]
        self.assertEqual(len(taking), 64)
        self.assertEqual(len(told), 136)
        self.assertIn(b"\r\nRetry-After: 1\r\n", told[0])
        self.assertLess(self.normal_requests(port, 3), self.LONGEST_WAIT)
        for s in taking[:4]:
            self.assertTrue(s.recv(4096))
        self.assertLess(self.resident(process.pid), 100 << 20)

    @staticmethod
    def answered(port, timeout=10):
        try:
            with urllib.request.urlopen("http://127.0.0.1:%d/service/service_status.php" % port, b"",
                                        timeout=timeout) as reply:
                return b"online" in reply.read()
        except OSError:
            return False

    @staticmethod
    def resident(pid):
        with open("/proc/%d/status" % pid) as f:
            return int(re.search(r"VmRSS:\s+(\d+)", f.read()).group(1)) * 1024

    @staticmethod
    def stop(process):
        process.terminate()
        process.wait()
        process.stdout.close()
        process.stderr.close()

    def test_requests_kept_only_with_control(self):
        def resident(pid):
            with open("/proc/%d/status" % pid) as f:
                return int(re.search(r"VmRSS:\s+(\d+)", f.read()).group(1)) * 1024
        body = urllib.parse.urlencode({"email": "a@b.c", "psw": "p" * (1 << 19)}).encode()
        start_size = resident(self.process.pid)
        for _ in range(100):
            self.post_raw(self.base + "/service/login.php", body)
        self.assertLess(resident(self.process.pid) - start_size, 20 << 20)
        # Without --control the control paths are no paths at all.
        with self.assertRaises(urllib.error.HTTPError) as caught:
            self.get(self.base + "/_control/requests")
        caught.exception.close()

    def test_generated_answers(self):
        """The made-up big answers the library's benchmarks and tests list."""
        process, line = start("--control")
        try:
            base = "http://127.0.0.1:%s" % line.split()[1]
            for mode, tag, count in (("artists", "interpreter", 1000), ("genres", "genre", 700), ("songs", "song", 400)):
                self.get(base + "/_control/fault?path=/service/songlist.php&mode=%s&times=1&count=%d" % (mode, count))
                with urllib.request.urlopen(base + "/service/songlist.php", b"lang=2&search=x") as reply:
                    root = ET.fromstring(reply.read())
                self.assertEqual(root.tag, "melodrome_message")
                self.assertEqual(len(root.findall(".//" + tag)), count)
                if mode != "songs":
                    self.assertEqual(len({e.text for e in root.findall(tag + "_id")}), count)
                    self.assertEqual(len(root.findall("num_songs")), count)
                else:
                    self.assertEqual(root[0].tag, "list")
            # Once only: the next answer is the usual one.
            with urllib.request.urlopen(base + "/service/songlist.php", b"lang=2&search=x") as reply:
                self.assertEqual(len(ET.fromstring(reply.read()).findall(".//interpreter")), 1)
            # The news answered with many songs, whole and then cut off.
            news = base + "/service/songlist_news.php"
            self.get(base + "/_control/fault?path=/service/songlist_news.php&mode=songs&times=1&count=500")
            with urllib.request.urlopen(news, b"lang=2") as reply:
                songs = ET.fromstring(reply.read()).findall("./list/song")
            self.assertEqual([len(songs), songs[-1].findtext("title"), songs[-1].findtext("key")],
                             [500, "Song 499", "Am"])
            self.get(base + "/_control/fault?path=/service/songlist_news.php&mode=songs&times=1&count=500&cut=1")
            with urllib.request.urlopen(news, b"lang=2") as reply:
                length = int(reply.headers["Content-Length"])
                with self.assertRaises(http.client.IncompleteRead) as cut:
                    reply.read()
            self.assertEqual(len(cut.exception.partial), length // 2)
        finally:
            process.terminate()
            process.wait()
            process.stdout.close()
            process.stderr.close()

    def post_raw(self, url, body):
        with urllib.request.urlopen(url, body) as reply:
            return reply.read()

    def test_account(self):
        user = self.post("/service/login.php", email="singer@example.org", psw="velmar", id_device="d")
        self.assertEqual([user.findtext(".//" + k) for k in ("user_id", "name", "surname")], ["1", "Demo", "Singer"])
        refused = self.post("/service/login.php", email="singer@example.org", psw="wrong", id_device="d")
        self.assertIsNone(refused.find(".//user_id"))
        self.assertTrue(refused.findtext("msg"))

    def test_news_songs_download_and_play(self):
        news = self.post("/service/songlist_news.php", lang="2").findall(".//song")
        self.assertGreaterEqual(len(news), 3)
        kinds = set()
        for song in news:
            # The client takes the address and size from the song's record.
            record = self.post("/service/song_info.php", lang="2", id_product=song.findtext("productid"), id_song="")
            data = self.get(record.findtext(".//url"))
            self.assertEqual(len(data), int(record.findtext(".//size")))
            path = os.path.join(self.folder.name, "download." + song.findtext("format").lower())
            with open(path, "wb") as f:
                f.write(data)
            if song.findtext("format") == "MP3":
                tags = ID3(path)
                self.assertEqual(str(tags["TIT2"]), song.findtext("title"))
                self.assertGreater(len(tags.getall("SYLT")[0].text), 20)
                cdg = self.get(record.findtext(".//url")[:-3] + "cdg")
                self.assertTrue(cdg and len(cdg) % 24 == 0)
                kinds.add("mp3+sylt+cdg")
                continue
            midi = mido.MidiFile(path)
            texts = [m for m in mido.merge_tracks(midi.tracks) if m.type in ("text", "lyrics")]
            xf = [m for m in mido.merge_tracks(midi.tracks) if m.type == "sequencer_specific"
                  and list(m.data[:3]) == [0x43, 0x7B, 0x01]]
            melody = [m for m in mido.merge_tracks(midi.tracks) if m.type == "note_on" and m.channel == 3]
            self.assertGreater(len(texts), 20)
            self.assertTrue(melody)
            if any(m.type == "text" and m.text.startswith("@K") for m in texts):
                self.assertTrue(xf)
                kinds.add("kar+chords")
            else:
                kinds.add("midi+melody")
        self.assertEqual(kinds, {"mp3+sylt+cdg", "kar+chords", "midi+melody"})

    def test_search_and_listings(self):
        found = self.post("/service/songlist.php", lang="2", search="harbour")
        self.assertEqual([s.findtext("title") for s in found.findall("song")], ["Harbour Song"])
        self.assertEqual(found.findtext("name"), "Nora Vell")
        self.assertFalse(self.post("/service/songlist.php", lang="2", search="nothing like it").findall("song"))
        listed = self.post("/service/songlist.php", lang="2", interpreter="Nora Vell")
        self.assertEqual(listed[0].tag, "list")
        self.assertEqual(len(listed.findall(".//song")), 1)

    def test_versions_and_bank(self):
        with open(os.path.join(SERVICE, "..", "CMakeLists.txt")) as f:
            version = re.search(r"project\(VelmarPC VERSION ([0-9.]+)", f.read()).group(1)
        checked = ET.fromstring(self.get(self.base + "/version_checker/check_version_velmarpc.php?target=linux"))
        self.assertEqual(checked.findtext(".//sw_version"), version)
        bank = ET.fromstring(self.get(self.base + "/version_checker/check_soundfont.php"))
        data = self.get(bank.findtext(".//url_update"))
        self.assertEqual(len(data), int(bank.findtext(".//size")))
        self.assertEqual(hashlib.md5(data).hexdigest(), bank.findtext(".//hash"))
        self.assertEqual(data[:4], b"RIFF")

    def test_banners_and_pages(self):
        banners = json.loads(self.get(self.base + "/banners/get_banners.php?lang=IT"))["banners"]
        self.assertTrue(banners)
        for banner in banners:
            self.assertEqual(self.get(banner["image_url"])[:8], b"\x89PNG\r\n\x1a\n")
            self.assertTrue(self.get(banner["link_url"]).startswith(b"<!DOCTYPE html>"))
        # The account page's links lead to the store's own pages.
        self.assertIn(b"singer@example.org", self.get(self.base + "/customer/account/create/"))

    def test_nothing_outside_the_catalogue(self):
        # Links inside the catalogue lead nowhere: to a file outside, to a
        # folder outside, or to a special file.
        outside = tempfile.TemporaryDirectory()
        secret = os.path.join(outside.name, "secret.mid")
        with open(secret, "wb") as f:
            f.write(b"MThd secret")
        links = {"files": {"link.mid": secret, "dir": outside.name, "null.mid": "/dev/null"},
                 "img": {"link.png": secret}}
        for kind, made in links.items():
            for name, target in made.items():
                os.symlink(target, os.path.join(self.folder.name, kind, name))
        self.addCleanup(outside.cleanup)
        for path in ("/files/..%2Fcatalogue.json", "/files/.hidden", "/img/..%2F..%2Fetc%2Fpasswd",
                     "/files/link.mid", "/files/dir%2Fsecret.mid", "/files/null.mid", "/img/link.png",
                     "/_control/requests", "/service/unknown.php"):
            with self.assertRaises(urllib.error.HTTPError, msg=path) as caught:
                self.get(self.base + path)
            self.assertEqual(caught.exception.code, 404)
            caught.exception.close()


if __name__ == "__main__":
    unittest.main()
