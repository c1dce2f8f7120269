#!/usr/bin/python3
"""The project's own store: the store host and the version-checker host.

Serves both roles on one port of the loopback address over plain HTTP and
answers every request of the store client with the reply formats the client
reads. With --control it records every request and the tests can tell it to
misbehave per path; without, it keeps nothing of a request.

    /usr/bin/python3 store.py [--port N] [--host ADDR] [--files DIR] [--control]
                              [--catalogue DIR] [--idle-timeout S]
                              [--request-timeout S] [--max-connections N]
                              [--max-transfers N] [--max-waiting N]

prints "PORT <n>" on its first line once it listens (port 0 picks a free one).
It listens on the loopback address only ("localhost" is 127.0.0.1): any other
--host is refused. The addresses it hands out are built from the address it
listens on, never from a request's Host header. It serves only regular files
whose real path lies inside its catalogue or --files folder (no link out of
them), takes request heads of 64 KiB and bodies of 1 MiB at most (64 MiB on
control paths), answers a malformed request with 400 (a NUL in a name, a
length or a control's count, size or time that is no plain number, an
account form that is not UTF-8) and any request it cannot serve with an
error status, closes a connection that sends nothing for --idle-timeout
seconds (default 15), and answers 408 to a request that is not in whole
within --request-timeout seconds (default 30), however it drips. One loop
takes the connections in and reads their requests as they come, so that a
request costs a thread only once it is whole: clients that send slowly, or
come back as soon as they are sent away, cannot keep a normal request out.
It holds --max-waiting connections whose requests are on their way (default
1024, 96 MiB of theirs at most): beyond, a new one takes the place of the
one that has waited longest, and one that finds every place holding a whole
request gets 503. Whole requests are answered on --max-connections places
at once (default 64), each connection's answer of up to a piece fitting its
send buffer whole; a file's transfer moves to one of --max-transfers places
of the transfers' own (default 64), and with none free is answered 503 with
Retry-After, so that slow readers of files hold no request's place. Files
are sent a piece at a time from disk and what a connection holds stays
within its limits, so the memory stays bounded by the number of places
whatever the clients do and the files' size.
With --catalogue (a folder made by make_catalogue.py) it serves that
catalogue, its account, banners and sound bank, and says this program version
is current; without, a small fixed data set the tests rely on.

Control requests (with --control only; never recorded):
    GET  /_control/requests             JSON list of recorded requests: method,
                                        path, query, headers (lower-case
                                        names), body (base64)
    GET  /_control/reset                forget requests, faults, replies, holds
    GET  /_control/fault?path=P&mode=M  misbehave on path P ("*" for every
         [&times=N][&chunk=B][&gap=MS]  path) for the next N requests (default:
                                        until reset); modes:
            http404, http500  that status with an HTML body
            busy              status 503 with an HTML body, with Retry-After:
                              S when &retry=S is given
            empty             status 200 with no body
            truncated         half of the body, then the connection closes
            trickle           B bytes (default 512) every MS ms (default 50)
            silent            read the request and never answer
            drop              read the request and close the connection
                              without an answer
            otherprotocol     read the request and answer as a mail server
                              does, not in HTTP, then close the connection
            hold              answer only after /_control/release?path=P
            html              status 200 with a web page (a network's sign-in page)
            malformed         status 200 with XML that breaks off inside an element
            foreign           status 200 with well-formed XML that is not the store's
                              answer (<error>...</error>)
            doctype           status 200, text/html, a page with "<!doctype html>"
            html401           status 200, text/xml, a page with the HTML 4.01 doctype
            commented         status 200, text/plain, a page that starts with a
                              comment before its "<!doctype html>"
            oversized         status 200 with S bytes (&size=S, default 256 MiB) of
                              XML; &announce=1 sends their Content-Length, else the
                              body ends when the connection closes
            redirect          307 to &to=ADDRESS (a path or a whole address)
            songs             status 200 with a song list of &count=N songs
                              (default 40000), also as the news answer
            artists, genres   status 200 with a search answer of &count=N
                              store artists or genres (default 40000)
                              (these three with &cut=1: half of the answer,
                              then the connection closes, as truncated)
    GET  /_control/release?path=P       send the held replies of P
    POST /_control/reply?path=P         serve this body on P from now on
    POST /_control/account              form fields email, psw, user_id, name,
                                        surname, songnet: the one account

Without a catalogue: /files/bytes/<N> is N bytes, byte i being i % 251; /files/<name> comes
from --files; /files/song/<any name> is a small MIDI song; /img/banner.png is a
small picture (any query).

/service/song_info.php answers for the posted id_product with a MIDI song
record that carries its address (url) and size before "download".
"""

import argparse
import base64
import hashlib
import io
import ipaddress
import json
import os
import re
import resource
import select
import selectors
import socket
import sys
import threading
import time
import urllib.parse
from collections import deque
from http.server import BaseHTTPRequestHandler

from catalogue import Catalogue, FileBody

PNG_1x1 = base64.b64decode(
    "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8BQDwAEhQGAhKmMIQAAAABJRU5ErkJggg==")

HTML_ERROR = "<html><head><title>{0}</title></head><body><h1>{0}</h1></body></html>"
SIGN_IN_PAGE = (b"<!DOCTYPE html>\n<html><head><title>Wi-Fi</title></head><body><form action=\"/portal\">"
                b"<input name=\"room\"><input type=\"submit\" value=\"Connect\"></form></body></html>")
FOREIGN_XML = b'<?xml version="1.0" encoding="UTF-8"?>\n<error>Service temporarily unavailable</error>'
LOWER_DOCTYPE_PAGE = b"<!doctype html>\n<html><head><meta charset=utf-8><title>Sign in</title></head><body>Sign in</body></html>"
COMMENTED_PAGE = (b"<!-- Guest network: sign in to go on -->\n<!doctype html>\n<html><head><title>Welcome</title>"
                  b"</head><body><a href=\"/login\">Sign in</a></body></html>")
HTML401_PAGE = (b'<!DOCTYPE HTML PUBLIC "-//W3C//DTD HTML 4.01 Transitional//EN">\n<HTML><HEAD><TITLE>Portal</TITLE>'
                b'<META http-equiv="Content-Type" content="text/html"></HEAD><BODY><P>Sign in<BR></BODY></HTML>')
BROKEN_XML = b'<?xml version="1.0" encoding="UTF-8"?>\n<melodrome_message><user><user_id>42</user_id><name>An'


MAX_HEAD = 64 << 10
MAX_BODY = 1 << 20
MAX_CONTROL_BODY = 64 << 20
BODY_PIECE = 64 << 10
LENGTH = re.compile(r"[0-9]+")
# The control requests' parameters that are numbers.
NUMBERS = ("times", "chunk", "gap", "size", "count", "status", "retry")


# What the connections waiting for their requests may hold together.
MAX_WAITING_BYTES = 96 << 20
# The send buffer of every connection: an answer of a piece goes into it
# whole, so a client that does not read holds no answer's place.
SEND_BUFFER = 256 << 10
BLANK_LINE = re.compile(rb"\r?\n\r?\n")
REQUEST_LINE = re.compile(rb"[A-Za-z]+ \S+ HTTP/\S+")


def inside(folder, path):
    """Whether `path` is a regular file whose real path lies inside `folder`."""
    if not folder:
        return False
    real = os.path.realpath(path)
    return os.path.commonpath([os.path.realpath(folder), real]) == os.path.realpath(folder) and \
        os.path.isfile(real)


class State:
    def __init__(self, files, account=None):
        self.lock = threading.Condition()
        self.files = files
        self.default_account = account or {"email": "anna@example.org", "psw": "secret", "user_id": "42",
                                           "name": "Anna", "surname": "Rossi", "songnet": "12.5"}
        self.reset()

    def reset(self):
        with self.lock:
            self.requests = []
            self.faults = {}
            self.replies = {}
            self.released = {}
            self.account = dict(self.default_account)
            self.lock.notify_all()

    def take_fault(self, path):
        with self.lock:
            for key in (path, "*"):
                fault = self.faults.get(key)
                if fault is None:
                    continue
                if fault["times"] is not None:
                    fault["times"] -= 1
                    if fault["times"] <= 0:
                        del self.faults[key]
                return fault
        return None


PERIOD = bytes(range(251))


def pattern_bytes(start, count):
    offset = start % 251
    return (PERIOD * (count // 251 + 2))[offset:offset + count]


def xml(inner):
    return ('<?xml version="1.0" encoding="UTF-8"?>\n<melodrome_message>' + inner
            + "</melodrome_message>").encode()


def user_xml(a):
    return xml("<user><user_id>{user_id}</user_id><name>{name}</name><surname>{surname}</surname>"
               "<email>{email}</email><currency>EUR</currency><songnet>{songnet}</songnet></user>"
               .format(**{k: escape(v) for k, v in a.items()}))


def escape(text):
    return str(text).replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")


SONG = ("<song><songid>101</songid><productid>5001</productid><title>Love Song</title>"
        "<authors>A. Author</authors><interpreters>Singer</interpreters><genre>Pop</genre>"
        "<format>MP3</format><lenght>185</lenght><bpm>120</bpm><key>Am</key><download>1</download></song>")


GENERATED = ("songs", "artists", "genres")


def generated_answer(mode, count):
    """A store answer of `count` made-up records: the songs of a list, or the
    artists or genres of a search."""
    if mode == "songs":
        return xml("<list>" + "".join(SONG.replace("<productid>5001<", "<productid>%d<" % (10000 + i))
                                      .replace("Love Song", "Song %d" % i) for i in range(count)) + "</list>")
    tag = "interpreter" if mode == "artists" else "genre"
    word = "Singer" if mode == "artists" else "Style"
    return xml("".join("<%s/><%s_id>%d</%s_id><name>%s %d</name><num_songs>%d</num_songs>"
                       % (tag, tag, 100000 + i, tag, word, i, 1 + i % 40) for i in range(count)))


def midi_song():
    """A real type-0 MIDI file: tempo, a track name, a few notes."""
    def vlq(n):
        out = [n & 0x7F]
        while n > 0x7F:
            n >>= 7
            out.insert(0, (n & 0x7F) | 0x80)
        return bytes(out)
    name = b"Love Song"
    events = b"\x00\xff\x51\x03\x07\xa1\x20" + b"\x00\xff\x03" + vlq(len(name)) + name
    events += b"\x00\xc0\x00"
    for i, note in enumerate((60, 64, 67, 72)):
        events += vlq(0) + bytes([0x90, note, 100]) + vlq(240) + bytes([0x80, note, 0])
    events += b"\x00\xff\x2f\x00"
    return (b"MThd" + (6).to_bytes(4, "big") + (0).to_bytes(2, "big") + (1).to_bytes(2, "big")
            + (480).to_bytes(2, "big") + b"MTrk" + len(events).to_bytes(4, "big") + events)


MIDI_SONG = midi_song()


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "TestStore/1"

    def log_message(self, fmt, *args):
        pass

    def do_GET(self):
        self.handle_any()

    def do_POST(self):
        self.handle_any()

    def do_PUT(self):
        self.handle_any()

    def do_DELETE(self):
        self.handle_any()

    # -- plumbing --

    def __init__(self, sock, address, server, request):
        # The whole request, as the server's loop received it.
        self.request_bytes = request
        super().__init__(sock, address, server)

    def setup(self):
        self.connection = self.request
        self.connection.settimeout(self.server.idle_timeout)
        self.rfile = io.BytesIO(self.request_bytes)
        self.wfile = SocketWriter(self.connection)
        self.transfer = False

    def handle(self):
        self.answering = False
        self.close_connection = True
        try:
            self.handle_one_request()
        except OSError:
            # The connection broke, or the client went quiet.
            self.close_connection = True

    def handle_any(self):
        try:
            self.serve()
        except (BrokenPipeError, ConnectionResetError, TimeoutError):
            # The client gave up or went quiet (a cancel or a time-out).
            self.close_connection = True
        except OSError:
            raise
        except Exception as error:
            # Whatever went wrong, the client gets an answer.
            print("store.py: %s %s: %r" % (self.command, self.path, error), file=sys.stderr)
            self.close_connection = True
            if not self.answering:
                self.send_whole(500, HTML_ERROR.format("500 Internal Server Error").encode(), "text/html")

    def refuse(self, code, text):
        self.close_connection = True
        self.send_whole(code, HTML_ERROR.format(text).encode(), "text/html")

    def read_body(self, limit):
        """The request's body, or None once a refusal has been sent."""
        if "chunked" in (self.headers.get("Transfer-Encoding") or "").lower():
            self.refuse(411, "411 Length Required")
            return None
        text = (self.headers.get("Content-Length") or "0").strip()
        # ASCII digits only: "²" or "٣" are digits to Python, not to HTTP.
        if not LENGTH.fullmatch(text) or len(self.headers.get_all("Content-Length") or []) > 1:
            self.refuse(400, "400 Bad Request")
            return None
        length = int(text)
        if length > limit:
            self.refuse(413, "413 Payload Too Large")
            return None
        # The server's loop took the body in as it came.
        body = self.rfile.read(length)
        if len(body) < length:
            self.close_connection = True
            return None
        return body

    def serve(self):
        state = self.server.state
        url = urllib.parse.urlsplit(self.path)
        controlled = url.path.startswith("/_control/") and self.server.control
        body = self.read_body(MAX_CONTROL_BODY if controlled else MAX_BODY)
        if body is None:
            return
        # No name holds a NUL: the file system refuses it, and so does this.
        if "\0" in urllib.parse.unquote(url.path):
            self.refuse(400, "400 Bad Request")
            return
        query = urllib.parse.parse_qs(url.query, keep_blank_values=True)
        if controlled:
            self.control(url.path[len("/_control/"):], query, body)
            return
        if self.server.control:
            with state.lock:
                state.requests.append({
                    "method": self.command, "path": url.path, "query": url.query,
                    "headers": {k.lower(): v for k, v in self.headers.items()},
                    "body": base64.b64encode(body).decode()})
        fault = state.take_fault(url.path)
        mode = fault["mode"] if fault else ""
        if mode == "drop":
            # As a server whose connection ends between the request and its
            # answer: the request was taken, no answer comes.
            self.close_connection = True
            return
        if mode == "silent":
            self.stay_silent()
            return
        if mode == "otherprotocol":
            # Another service on the port: its greeting, then its refusal.
            self.close_connection = True
            self.answering = True
            self.wfile.write(b"220 mail.example.org ESMTP\r\n500 5.5.2 Error: bad syntax\r\n")
            self.wfile.flush()
            return
        if mode == "busy":
            self.refuse_busy(fault.get("retry"))
            return
        if mode in ("http404", "http500"):
            code = 404 if mode == "http404" else 500
            self.send_whole(code, HTML_ERROR.format(code).encode(), "text/html")
            return
        if mode in ("html", "malformed"):
            self.send_whole(200, SIGN_IN_PAGE if mode == "html" else BROKEN_XML,
                            "text/html" if mode == "html" else "text/xml")
            return
        if mode in ("foreign", "doctype", "html401", "commented"):
            data = {"foreign": FOREIGN_XML, "doctype": LOWER_DOCTYPE_PAGE, "html401": HTML401_PAGE,
                    "commented": COMMENTED_PAGE}[mode]
            types = {"doctype": "text/html", "commented": "text/plain"}
            self.send_whole(200, data, types.get(mode, "text/xml"))
            return
        if mode == "oversized":
            self.send_oversized(int(fault.get("size") or 256 << 20), fault.get("announce") == "1")
            return
        if mode in GENERATED:
            data = generated_answer(mode, int(fault.get("count") or 40000))
            self.send_answer(fault, "truncated" if fault.get("cut") == "1" else "", url.path, 200, data, "text/xml")
            return
        if mode == "redirect":
            self.send_response(307)
            self.send_header("Location", fault.get("to") or "/")
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        reply = self.answer(url.path, query, body)
        if reply is None:
            self.send_whole(404, HTML_ERROR.format(404).encode(), "text/html")
            return
        status, data, ctype = reply
        try:
            self.send_answer(fault, mode, url.path, status, data, ctype)
        finally:
            if isinstance(data, FileBody):
                data.close()

    def send_answer(self, fault, mode, path, status, data, ctype):
        # A file's transfer may take long: it leaves its place to requests
        # and takes one of the transfers'. With none free the client is told
        # to come again, and the requests' places stay free for requests.
        if len(data) > BODY_PIECE:
            self.close_connection = True
            if not self.server.places.to_transfer(self):
                self.refuse_busy()
                return
        if mode == "hold":
            self.wait_release(path)
        if mode == "empty":
            data = b""
        if mode == "truncated":
            self.send_head(status, len(data), ctype)
            self.wfile.write(self.slice(data, 0, len(data) // 2))
            self.wfile.flush()
            self.close_connection = True
            try:
                self.connection.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            return
        if mode == "trickle":
            self.send_head(status, len(data), ctype)
            chunk = int(fault.get("chunk") or 512)
            gap = int(fault.get("gap") or 50) / 1000.0
            for start in range(0, len(data), chunk):
                self.wfile.write(self.slice(data, start, chunk))
                self.wfile.flush()
                time.sleep(gap)
            return
        self.send_whole(status, data, ctype)

    def refuse_busy(self, retry="1"):
        page = HTML_ERROR.format("503 Service Unavailable").encode()
        self.send_response(503)
        self.send_header("Content-Type", "text/html")
        if retry:
            self.send_header("Retry-After", retry)
        self.send_header("Content-Length", str(len(page)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(page)
        self.wfile.flush()

    @staticmethod
    def slice(data, start, count):
        if isinstance(data, (PatternBody, FileBody)):
            return data.read(start, min(count, len(data) - start))
        return data[start:start + count]

    def send_response(self, code, message=None):
        # An answer has begun: a failure from here on can only close it.
        self.answering = True
        super().send_response(code, message)

    def send_head(self, status, length, ctype):
        self.send_response(status)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(length))
        if self.close_connection:
            self.send_header("Connection", "close")
        self.end_headers()

    def send_whole(self, status, data, ctype):
        self.send_head(status, len(data), ctype)
        step = 1 << 16
        for start in range(0, len(data), step):
            self.wfile.write(self.slice(data, start, step))
        self.wfile.flush()

    def send_oversized(self, size, announce):
        self.send_response(200)
        self.send_header("Content-Type", "text/xml")
        if announce:
            self.send_header("Content-Length", str(size))
        else:
            self.send_header("Connection", "close")
            self.close_connection = True
        self.end_headers()
        head = b'<?xml version="1.0" encoding="UTF-8"?>\n<melodrome_message>'
        block = b"<pad>" + b"x" * 65519 + b"</pad>"
        sent = 0
        while sent < size:
            piece = (head if sent == 0 else block)[:size - sent]
            self.wfile.write(piece)
            sent += len(piece)
        self.wfile.flush()

    def stay_silent(self):
        # Until the client gives up (or the server stops).
        self.close_connection = True
        while not self.server.stopping.is_set():
            ready, _, _ = select.select([self.connection], [], [], 0.2)
            if ready:
                try:
                    if not self.connection.recv(4096):
                        return
                except OSError:
                    return

    def wait_release(self, path):
        state = self.server.state
        with state.lock:
            while state.released.get(path, 0) <= 0 and not self.server.stopping.is_set():
                state.lock.wait(0.2)
            if state.released.get(path, 0) > 0:
                state.released[path] -= 1

    def control(self, what, query, body):
        state = self.server.state
        one = lambda k, d="": query.get(k, [d])[0]
        # Counts, sizes and times are plain numbers, a chunk at least a byte.
        if not all(LENGTH.fullmatch(v) for k in NUMBERS for v in query.get(k, [])) \
                or one("chunk") and int(one("chunk")) == 0:
            self.refuse(400, "400 Bad Request")
            return
        if what == "requests":
            with state.lock:
                data = json.dumps(state.requests).encode()
            self.send_whole(200, data, "application/json")
            return
        if what == "reset":
            state.reset()
        elif what == "fault":
            times = one("times")
            with state.lock:
                state.faults[one("path")] = dict({k: v[0] for k, v in query.items()},
                                                 times=int(times) if times else None)
        elif what == "release":
            with state.lock:
                state.released[one("path")] = state.released.get(one("path"), 0) + int(one("count", "1"))
                state.lock.notify_all()
        elif what == "reply":
            with state.lock:
                state.replies[one("path")] = (int(one("status", "200")), body)
        elif what == "account":
            try:
                form = urllib.parse.parse_qs(body.decode(), keep_blank_values=True)
            except UnicodeDecodeError:
                self.refuse(400, "400 Bad Request")
                return
            with state.lock:
                for k, v in form.items():
                    state.account[k] = v[0]
        else:
            self.send_whole(404, b"unknown control", "text/plain")
            return
        self.send_whole(200, b"ok", "text/plain")

    # -- the store's answers --

    def base(self):
        return self.server.base

    def answer(self, path, query, body):
        """(status, body, content type) or None for an unknown path."""
        state = self.server.state
        with state.lock:
            if path in state.replies:
                status, data = state.replies[path]
                return status, data, "text/xml"
            account = dict(state.account)
        form = {k: v[0] for k, v in urllib.parse.parse_qs(body.decode("utf-8", "replace"),
                                                          keep_blank_values=True).items()}
        if path == "/service/service_status.php":
            return 200, xml("<service_status>online</service_status>"), "text/xml"
        if path == "/service/login.php":
            if form.get("email") == account["email"] and form.get("psw") == account["psw"]:
                return 200, user_xml(account), "text/xml"
            return 200, xml("<msg>Wrong e-mail or password</msg>"), "text/xml"
        if path == "/service/logout.php":
            return 200, xml("<msg>Logged out</msg>"), "text/xml"
        if path == "/service/user_info.php":
            if form.get("id_user") == account["user_id"]:
                return 200, user_xml(account), "text/xml"
            return 200, xml("<msg>USER NOT LOGGED</msg>"), "text/xml"
        if self.server.catalogue is not None:
            return self.server.catalogue.answer(path, query, form, self.base())
        if path == "/service/songlist_news.php":
            return 200, xml("<list>" + SONG + "</list>"), "text/xml"
        if path == "/service/songlist.php":
            if "search" in form:
                return 200, xml("<interpreter/><interpreter_id>900</interpreter_id><name>Singer</name>"
                                "<num_songs>3</num_songs>" + SONG +
                                "<genre/><genre_id>77</genre_id><name>Pop</name><num_songs>12</num_songs>"), \
                    "text/xml"
            return 200, xml("<list>" + SONG + "</list>"), "text/xml"
        if path == "/service/song_info.php":
            pid = escape(form.get("id_product", "5001"))
            return 200, xml("<song><songid>101</songid><productid>%s</productid><title>Love Song</title>"
                            "<authors>A. Author</authors><interpreters>Singer</interpreters><genre>Pop</genre>"
                            "<format>MIDI</format><lenght>4</lenght><bpm>120</bpm><key>C</key>"
                            "<url>%s/files/song/%s.mid</url><size>%d</size><download>1</download></song>"
                            % (pid, self.base(), pid, len(MIDI_SONG))), "text/xml"
        if path.startswith("/files/song/"):
            return 200, MIDI_SONG, "audio/midi"
        if path == "/version_checker/check_version_velmarpc.php":
            target = query.get("target", ["mac"])[0]
            name = "VelmarPC-%s-2.4.11.zip" % target
            return 200, xml("<velmarpc><sw_version>2.4.11</sw_version><url_update>%s/files/%s</url_update>"
                            "<size>%d</size></velmarpc>" % (self.base(), name, self.file_size(name, 123456))), \
                "text/xml"
        if path == "/version_checker/check_soundfont.php":
            size = self.file_size("Basic.sfc", 1048576)
            return 200, xml("<soundfont><version>1.2</version><url_update>%s/files/Basic.sfc</url_update>"
                            "<size>%d</size><hash>%s</hash></soundfont>"
                            % (self.base(), size, self.file_md5("Basic.sfc"))), "text/xml"
        if path == "/banners/get_banners.php":
            banner = {"image_url": self.base() + "/img/banner.png", "background_color": "#202020",
                      "title": "New songs", "title_color": "#ffffff", "subtitle": "Every week",
                      "subtitle_color": "#cccccc", "link_url": "https://example.org/news"}
            return 200, json.dumps({"banners": [banner]}).encode(), "application/json"
        if path == "/img/banner.png":
            return 200, PNG_1x1, "image/png"
        if path.startswith("/files/bytes/"):
            count = path.rsplit("/", 1)[1]
            return (200, PatternBody(int(count)), "application/octet-stream") if LENGTH.fullmatch(count) else None
        if path.startswith("/files/"):
            data = self.file_data(urllib.parse.unquote(path[len("/files/"):]))
            return None if data is None else (200, data, "application/octet-stream")
        return None

    def file_data(self, name):
        """The file, read a piece at a time as it is sent (FileBody), or None."""
        folder = self.server.state.files
        if not folder or "/" in name or name.startswith(".") or not inside(folder, os.path.join(folder, name)):
            return None
        try:
            return FileBody(os.path.join(folder, name))
        except OSError:
            return None

    def file_size(self, name, fallback):
        data = self.file_data(name)
        if data is None:
            return fallback
        data.close()
        return len(data)

    def file_md5(self, name):
        digest = hashlib.md5()
        data = self.file_data(name)
        if data is not None:
            for start in range(0, len(data), BODY_PIECE):
                digest.update(data.read(start, BODY_PIECE))
            data.close()
        return digest.hexdigest()


class PatternBody:
    """Bytes made on demand, so a large download costs no memory here."""

    def __init__(self, size):
        self.size = size

    def __len__(self):
        return self.size

    def read(self, start, count):
        return pattern_bytes(start, count)


class SocketWriter(io.BufferedIOBase):
    """The answer's side of a connection: every write goes out whole."""

    def __init__(self, sock):
        super().__init__()
        self.sock = sock

    def writable(self):
        return True

    def write(self, data):
        self.sock.sendall(data)
        return len(data)


class Places:
    """The answers given at once: a request's answer on one of the
    requests' places; a file's transfer, which may take long, moves to one of
    the transfers' own."""

    def __init__(self, answers, transfers):
        self.most_answers = answers
        self.most_transfers = transfers
        self.lock = threading.Lock()
        self.answers = 0
        self.transfers = 0

    def take_answer(self):
        with self.lock:
            if self.answers >= self.most_answers:
                return False
            self.answers += 1
            return True

    def to_transfer(self, handler):
        with self.lock:
            if handler.transfer:
                return True
            if self.transfers >= self.most_transfers:
                return False
            self.transfers += 1
            self.answers -= 1
            handler.transfer = True
            return True

    def give_back(self, handler):
        with self.lock:
            if handler is not None and handler.transfer:
                self.transfers -= 1
            else:
                self.answers -= 1


class Waiting:
    """A connection whose request is on its way: what came of it so far."""

    def __init__(self, sock, address, data=b""):
        self.sock = sock
        self.address = address
        self.data = bytearray(data)
        self.since = time.monotonic()  # the wait for this request began
        self.last = self.since
        self.need = None  # the whole request's length, once its head is in
        self.ready = False
        self.closing = None  # a refused connection is read away until then


class StoreServer:
    """One loop takes the connections in and their requests as they arrive,
    so that a connection costs no thread until its request is whole: clients
    that send slowly, or come back as soon as they are sent away, cannot keep
    a request out. Whole requests are answered on threads of their own, on
    --max-connections places; what waits is bounded in number
    (--max-waiting) and in bytes, the connection that has waited longest
    making room for a newer one."""

    def __init__(self, address, family):
        self.socket = socket.socket(family, socket.SOCK_STREAM)
        self.socket.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.socket.bind(address)
        self.socket.listen(4096)
        self.socket.setblocking(False)
        self.server_port = self.socket.getsockname()[1]
        self.waiting = {}
        self.bytes_waiting = 0
        self.ready = deque()
        self.returned = deque()
        self.wake_in, self.wake_out = socket.socketpair()
        self.wake_in.setblocking(False)
        self.wake_out.setblocking(False)
        self.selector = selectors.DefaultSelector()

    def wake(self):
        try:
            self.wake_out.send(b"x")
        except OSError:
            pass

    def serve_forever(self, poll_interval=0.2):
        self.selector.register(self.socket, selectors.EVENT_READ, None)
        self.selector.register(self.wake_in, selectors.EVENT_READ, self.wake_in)
        while not self.stopping.is_set():
            for key, _ in self.selector.select(poll_interval):
                if key.data is None:
                    self.accept()
                elif key.data is self.wake_in:
                    try:
                        while self.wake_in.recv(4096):
                            pass
                    except OSError:
                        pass
                else:
                    self.receive(key.data)
            self.take_back()
            self.dispatch()
            self.expire()

    def server_close(self):
        self.selector.close()
        self.socket.close()

    # -- the connections waiting for their requests --

    def accept(self):
        # A few at a time: what the connections already in send is read
        # between, before more of them come.
        for _ in range(16):
            try:
                sock, address = self.socket.accept()
            except (BlockingIOError, InterruptedError):
                return
            except OSError:
                return
            sock.setblocking(False)
            try:
                sock.setsockopt(socket.SOL_SOCKET, socket.SO_SNDBUF, SEND_BUFFER)
            except OSError:
                pass
            if len(self.waiting) >= self.max_waiting and not self.evict_oldest():
                self.refuse_at_once(sock)
                continue
            self.wait_for(Waiting(sock, address))

    def wait_for(self, conn):
        self.waiting[conn.sock] = conn
        self.bytes_waiting += len(conn.data)
        self.selector.register(conn.sock, selectors.EVENT_READ, conn)
        if conn.data:
            self.advance(conn)

    def evict_oldest(self):
        """Closes the connection that has waited longest for its request: one
        being closed first, then one that has sent part of a request, then
        one that has sent nothing yet (a client that has just come, whose
        request may be on its way); false when every one waiting has its
        request whole."""
        candidates = [c for c in self.waiting.values() if not c.ready]
        if not candidates:
            return False
        self.drop(min(candidates, key=lambda c: (c.closing is None, not c.data, c.since)))
        return True

    def refuse_at_once(self, sock):
        page = HTML_ERROR.format("503 Service Unavailable").encode()
        try:
            sock.send(b"HTTP/1.1 503 Service Unavailable\r\nContent-Type: text/html\r\nRetry-After: 1\r\n"
                      b"Connection: close\r\nContent-Length: %d\r\n\r\n" % len(page) + page)
        except OSError:
            pass
        sock.close()

    def drop(self, conn):
        self.waiting.pop(conn.sock, None)
        self.bytes_waiting -= len(conn.data)
        if not conn.ready:
            try:
                self.selector.unregister(conn.sock)
            except (KeyError, ValueError):
                pass
        try:
            conn.sock.close()
        except OSError:
            pass

    def receive(self, conn):
        try:
            piece = conn.sock.recv(BODY_PIECE)
        except (BlockingIOError, InterruptedError):
            return
        except OSError:
            piece = b""
        if not piece:
            self.drop(conn)
            return
        conn.last = time.monotonic()
        if conn.closing is not None:
            return
        conn.data += piece
        self.bytes_waiting += len(piece)
        self.advance(conn)
        while self.bytes_waiting > MAX_WAITING_BYTES and self.evict_oldest():
            pass

    def advance(self, conn):
        """Takes the request's measure once its head is in, and hands it on
        once it is whole."""
        if conn.need is None and not self.may_be_request(conn.data):
            # No request of HTTP's (another protocol, a secure connection's
            # greeting): the handler says so at once.
            conn.need = len(conn.data)
        if conn.need is None:
            blank = BLANK_LINE.search(conn.data, 0, MAX_HEAD + 4)
            if blank is None:
                if len(conn.data) > MAX_HEAD:
                    self.cut_off(conn, "431 Request Header Fields Too Large")
                return
            conn.need = blank.end() + self.body_length(bytes(conn.data[:blank.start()]))
        if len(conn.data) >= conn.need:
            conn.ready = True
            self.selector.unregister(conn.sock)
            self.ready.append(conn)

    @staticmethod
    def may_be_request(data):
        """Whether `data` may begin an HTTP request: text, and a first line of
        a method, a target and a version."""
        end = data.find(b"\n")
        first = bytes(data[:end if end >= 0 else len(data)]).rstrip(b"\r")
        if any(byte < 0x20 or byte >= 0x7f for byte in first):
            return False
        return end < 0 or REQUEST_LINE.fullmatch(first) is not None

    def body_length(self, head):
        """The body's length as the head announces it; 0 where the handler
        refuses the request without reading one."""
        lines = head.split(b"\n")
        words = lines[0].split()
        target = words[1].decode("latin-1") if len(words) > 1 else ""
        controlled = self.control and urllib.parse.urlsplit(target).path.startswith("/_control/")
        lengths = []
        for line in lines[1:]:
            name, _, value = line.partition(b":")
            name = name.strip().lower()
            if name == b"transfer-encoding" and b"chunked" in value.lower():
                return 0
            if name == b"content-length":
                lengths.append(value.strip().decode("latin-1"))
        if len(lengths) != 1 or not LENGTH.fullmatch(lengths[0]):
            return 0
        length = int(lengths[0])
        return length if length <= (MAX_CONTROL_BODY if controlled else MAX_BODY) else 0

    def cut_off(self, conn, text):
        """Answers a request that did not arrive as it should, if anything of
        it came, and closes the connection after reading away for a moment
        what the client still sends: closed on unread bytes, the connection
        would be reset and the answer lost on the client's side."""
        if not conn.data:
            self.drop(conn)
            return
        page = HTML_ERROR.format(text).encode()
        try:
            conn.sock.send(("HTTP/1.1 %s\r\nContent-Type: text/html\r\nContent-Length: %d\r\n"
                            "Connection: close\r\n\r\n" % (text, len(page))).encode() + page)
            conn.sock.shutdown(socket.SHUT_WR)
        except OSError:
            self.drop(conn)
            return
        self.bytes_waiting -= len(conn.data)
        conn.data = bytearray()
        conn.closing = time.monotonic() + 1

    def expire(self):
        now = time.monotonic()
        for conn in list(self.waiting.values()):
            if conn.ready:
                continue
            if conn.closing is not None:
                if now >= conn.closing:
                    self.drop(conn)
            elif now - conn.since >= self.request_timeout:
                self.cut_off(conn, "408 Request Timeout")
            elif now - conn.last >= self.idle_timeout:
                # A connection that has sent nothing for so long is closed.
                self.drop(conn)

    # -- the answers --

    def dispatch(self):
        while self.ready and self.places.take_answer():
            conn = self.ready.popleft()
            self.waiting.pop(conn.sock, None)
            self.bytes_waiting -= len(conn.data)
            request, rest = bytes(conn.data[:conn.need]), bytes(conn.data[conn.need:])
            threading.Thread(target=self.answer, args=(conn.sock, conn.address, request, rest), daemon=True).start()

    def answer(self, sock, address, request, rest):
        handler = None
        keep = False
        try:
            sock.setblocking(True)
            handler = Handler(sock, address, self, request)
            keep = not handler.close_connection
        except Exception as error:
            print("store.py: %r" % error, file=sys.stderr)
        finally:
            self.places.give_back(handler)
        if keep and not self.stopping.is_set():
            try:
                sock.setblocking(False)
                self.returned.append((sock, address, rest))
            except OSError:
                keep = False
        if not keep:
            try:
                sock.close()
            except OSError:
                pass
        self.wake()

    def take_back(self):
        """Connections kept open after their answer wait for their next request."""
        while self.returned:
            sock, address, rest = self.returned.popleft()
            if len(self.waiting) >= self.max_waiting and not self.evict_oldest():
                sock.close()
                continue
            self.wait_for(Waiting(sock, address, rest))


def loopback_address(host):
    """The loopback address `host` names ("localhost" is 127.0.0.1), or None."""
    if host.lower() == "localhost":
        return "127.0.0.1"
    try:
        return host if ipaddress.ip_address(host).is_loopback else None
    except ValueError:
        return None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--files", default="")
    parser.add_argument("--control", action="store_true")
    parser.add_argument("--catalogue", default="", help="a folder made by make_catalogue.py")
    parser.add_argument("--idle-timeout", type=float, default=15.0)
    parser.add_argument("--request-timeout", type=float, default=30.0)
    parser.add_argument("--max-connections", type=int, default=64)
    parser.add_argument("--max-waiting", type=int, default=1024)
    parser.add_argument("--max-transfers", type=int, default=64)
    args = parser.parse_args()
    host = loopback_address(args.host)
    if host is None:
        print("store.py: %s is not a loopback address; the store listens on 127.0.0.1 or ::1 only"
              % args.host, file=sys.stderr)
        return 2
    family = socket.AF_INET6 if ":" in host else socket.AF_INET
    server = StoreServer((host, args.port), family)
    server.base = "http://%s:%d" % ("[%s]" % host if ":" in host else host, server.server_port)
    server.idle_timeout = args.idle_timeout
    server.request_timeout = args.request_timeout
    places = max(1, args.max_connections)
    transfers = max(0, args.max_transfers)
    server.places = Places(places, transfers)
    # Every connection is a file: as many as may wait, within what the
    # system allows beside the answers'.
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    wanted = args.max_waiting + 2 * (places + transfers) + 64
    if soft != resource.RLIM_INFINITY and soft < wanted:
        try:
            soft = wanted if hard == resource.RLIM_INFINITY else min(wanted, hard)
            resource.setrlimit(resource.RLIMIT_NOFILE, (soft, hard))
        except (ValueError, OSError):
            soft = resource.getrlimit(resource.RLIMIT_NOFILE)[0]
    server.max_waiting = max(1, min(args.max_waiting, soft - 2 * (places + transfers) - 64))
    server.control = args.control
    server.catalogue = Catalogue(args.catalogue) if args.catalogue else None
    server.state = State(args.files, server.catalogue.account if server.catalogue else None)
    server.stopping = threading.Event()
    print("PORT %d" % server.server_port, flush=True)
    try:
        server.serve_forever(poll_interval=0.2)
    except KeyboardInterrupt:
        pass
    finally:
        server.stopping.set()
        server.server_close()


if __name__ == "__main__":
    sys.exit(main())
