#!/usr/bin/python3
"""The project's own store: the store host and the version-checker host.

Serves both roles on one port of the loopback address over plain HTTP and
answers every request of the store client with the reply formats the client
reads. With --control it records every request and the tests can tell it to
misbehave per path; without, it keeps nothing of a request.

    /usr/bin/python3 store.py [--port N] [--host ADDR] [--files DIR] [--control]
                              [--catalogue DIR] [--idle-timeout S]
                              [--request-timeout S] [--max-connections N]
                              [--max-transfers N]

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
within --request-timeout seconds (default 30), however it drips. It serves
--max-connections connections at once (default 64): a new one takes the
place of the one that has been sending its request the longest, so that
clients that send slowly cannot keep others out, and one that finds every
place answering gets 503. A file's transfer leaves its place for one of
--max-transfers places of the transfers' own (default 64), while one is
free. Files are sent a piece at a time from disk and what a connection holds
stays within its limits, so the memory stays bounded by the number of places
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
import select
import socket
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

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
NUMBERS = ("times", "chunk", "gap", "size", "count", "status")


class RequestTimeout(Exception):
    """The request did not arrive whole within its time."""


class RequestTooLarge(Exception):
    """The request sent more than its limits let through."""


class RequestReader(io.RawIOBase):
    """The connection's bytes as the handler reads them: each read waits at
    most the idle timeout and what is left of the request's time, and fails
    beyond the bytes the request may still send."""

    def __init__(self, sock, idle):
        super().__init__()
        self.sock = sock
        self.idle = idle
        self.deadline = None
        self.budget = None
        self.received = 0

    def readable(self):
        return True

    def readinto(self, buffer):
        wait = self.idle
        if self.deadline is not None:
            left = self.deadline - time.monotonic()
            if left <= 0:
                raise RequestTimeout()
            wait = min(wait, left)
        view = memoryview(buffer)
        if self.budget is not None:
            if self.budget <= 0:
                raise RequestTooLarge()
            view = view[:self.budget]
        self.sock.settimeout(wait)
        try:
            count = self.sock.recv_into(view)
        except TimeoutError:
            if self.deadline is not None and time.monotonic() >= self.deadline:
                raise RequestTimeout()
            raise
        if self.budget is not None:
            self.budget -= count
        self.received += count
        return count


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

    def setup(self):
        # A connection that sends nothing for this long is closed: half-sent
        # requests cannot hold the server's threads.
        self.timeout = self.server.idle_timeout
        super().setup()
        self.evicted = False
        self.rfile.close()
        self.reader = RequestReader(self.connection, self.server.idle_timeout)
        self.rfile = io.BufferedReader(self.reader)

    def handle_one_request(self):
        # Each request gets its time and its head's size from its first wait
        # on: a client that sends a byte now and then is cut off all the same.
        self.reader.deadline = time.monotonic() + self.server.request_timeout
        self.reader.budget = MAX_HEAD
        self.reader.received = 0
        self.answering = False
        self.server.slots.receiving(self)
        try:
            super().handle_one_request()
        except RequestTimeout:
            self.cut_off(408, "408 Request Timeout")
        except RequestTooLarge:
            self.cut_off(431, "431 Request Header Fields Too Large")
        except OSError:
            # The connection broke, or its place went to a newer one.
            self.close_connection = True
        finally:
            self.server.slots.answered(self)

    def cut_off(self, code, text):
        """Answers a request that did not arrive as it should, if anything of
        it came and no answer has begun, and closes the connection."""
        self.close_connection = True
        if self.answering or self.reader.received == 0 or self.evicted:
            return
        page = HTML_ERROR.format(text).encode()
        try:
            self.connection.settimeout(2)
            self.wfile.write(("HTTP/1.1 %s\r\nContent-Type: text/html\r\nContent-Length: %d\r\n"
                              "Connection: close\r\n\r\n" % (text, len(page))).encode() + page)
            self.wfile.flush()
            # What the client still sends is read away for a moment: closed
            # on unread bytes, the connection would be reset and the answer
            # lost on the client's side.
            self.connection.shutdown(socket.SHUT_WR)
            drained, until = 0, time.monotonic() + 1
            while drained < MAX_HEAD * 4 and time.monotonic() < until:
                self.connection.settimeout(max(0.01, until - time.monotonic()))
                piece = self.connection.recv(BODY_PIECE)
                if not piece:
                    break
                drained += len(piece)
        except OSError:
            pass

    def evict(self):
        """Ends the connection from another thread: a newer one takes its place."""
        self.evicted = True
        try:
            self.connection.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass

    def handle_any(self):
        try:
            self.serve()
        except (BrokenPipeError, ConnectionResetError, TimeoutError):
            # The client gave up or went quiet (a cancel or a time-out).
            self.close_connection = True
        except (RequestTimeout, RequestTooLarge, OSError):
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
        # Taken as it comes: a client that announces a large body and sends
        # little costs only what it sent.
        self.reader.budget = length
        pieces = []
        missing = length
        while missing > 0:
            piece = self.rfile.read1(min(missing, BODY_PIECE))
            if not piece:
                self.close_connection = True
                return None
            pieces.append(piece)
            missing -= len(piece)
        self.reader.budget = None
        return b"".join(pieces)

    def serve(self):
        state = self.server.state
        url = urllib.parse.urlsplit(self.path)
        controlled = url.path.startswith("/_control/") and self.server.control
        body = self.read_body(MAX_CONTROL_BODY if controlled else MAX_BODY)
        if body is None:
            return
        # The request is in: its answer takes the time it takes.
        self.server.slots.answered(self)
        self.connection.settimeout(self.server.idle_timeout)
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
        # and takes one of the transfers', while there is one.
        if len(data) > BODY_PIECE and self.server.slots.to_transfer(self):
            self.close_connection = True
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


class Slots:
    """The connections served at once. A new connection beyond the limit
    takes the place of the one that has been waiting for its request the
    longest (a client that drips, or an idle one); with every place
    answering, it is refused. A file's transfer moves to a place of the
    transfers' own, while there is one, so that slow downloads leave the
    places of the requests free; its connection closes after it."""

    def __init__(self, most, transfers):
        self.most = most
        self.most_transfers = transfers
        self.lock = threading.Lock()
        self.taken = 0
        self.waiting = {}
        # Connections whose place went to a newer one.
        self.evicted = set()
        # Connections holding a transfer's place.
        self.transferring = set()

    def to_transfer(self, handler):
        with self.lock:
            if len(self.transferring) >= self.most_transfers or handler.request in self.evicted \
                    or handler.request in self.transferring:
                return False
            self.transferring.add(handler.request)
            self.waiting.pop(handler, None)
            self.taken -= 1
            return True

    def take(self):
        with self.lock:
            if self.taken < self.most:
                self.taken += 1
                return True
            if not self.waiting:
                return False
            oldest = min(self.waiting, key=self.waiting.get)
            del self.waiting[oldest]
            self.evicted.add(oldest.request)
            oldest.evict()
            return True

    def receiving(self, handler):
        with self.lock:
            if handler.request not in self.evicted:
                self.waiting[handler] = time.monotonic()

    def answered(self, handler):
        with self.lock:
            self.waiting.pop(handler, None)

    def give_back(self, request):
        with self.lock:
            # An evicted connection gave its place to the one that took it.
            if request in self.evicted:
                self.evicted.discard(request)
            elif request in self.transferring:
                self.transferring.discard(request)
            else:
                self.taken -= 1


class StoreServer(ThreadingHTTPServer):
    request_queue_size = 128
    daemon_threads = True

    def process_request(self, request, client_address):
        if not self.slots.take():
            try:
                request.settimeout(1)
                page = HTML_ERROR.format("503 Service Unavailable").encode()
                request.sendall(b"HTTP/1.1 503 Service Unavailable\r\nContent-Type: text/html\r\n"
                                b"Retry-After: 1\r\nConnection: close\r\nContent-Length: %d\r\n\r\n"
                                % len(page) + page)
            except OSError:
                pass
            self.shutdown_request(request)
            return
        super().process_request(request, client_address)

    def finish_request(self, request, client_address):
        try:
            super().finish_request(request, client_address)
        finally:
            self.slots.give_back(request)


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
    parser.add_argument("--max-transfers", type=int, default=64)
    args = parser.parse_args()
    host = loopback_address(args.host)
    if host is None:
        print("store.py: %s is not a loopback address; the store listens on 127.0.0.1 or ::1 only"
              % args.host, file=sys.stderr)
        return 2
    family = socket.AF_INET6 if ":" in host else socket.AF_INET
    server_class = type("StoreServer", (StoreServer,), {"address_family": family})
    server = server_class((host, args.port), Handler)
    server.base = "http://%s:%d" % ("[%s]" % host if ":" in host else host, server.server_port)
    server.idle_timeout = args.idle_timeout
    server.request_timeout = args.request_timeout
    server.slots = Slots(max(1, args.max_connections), max(0, args.max_transfers))
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
