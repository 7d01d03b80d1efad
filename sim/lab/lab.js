// The lab's page: a console on the program run by the simulator in a worker.
// The session typed so far is kept as lines "@<ms> text"; the program is run
// on it from the start, with input kept open, up to a little past the
// clock, and the page shows the writes whose virtual time has come. The
// clock runs at the program's pace unless paused or sped up. Everything
// from the link or the program is shown as text, never as markup.
'use strict';
const $ = (id) => document.getElementById(id);
const FILES = ['stdout', 'stderr', 'PrintThread.0', 'FindThread.0', 'GarbageThread.0'];
const AHEAD = 10000;  // ms of virtual time run ahead of the clock: short runs answer typing sooner
const LIMITS = {
    fragment: 1000000,
    lines: 2000,
    bytes: 64000,
    choices: 10000
};

const lab = {
    session: '',     // what was typed, one "@<ms> text" line each
    now: 0,          // virtual ms shown
    pace: 1,         // virtual ms per real ms; 0: paused
    started: false,  // the clock runs once the first run is in hand
    origin: 0,       // performance.now() at which the clock read `base`
    base: 0,
    run: null,      // the last run ahead: {bound, writes, ended, ending, endMs, threads}
    shown: -1,      // writes shown, or -1 before the first
    shownUpTo: -1,  // virtual ms up to which they were shown
    pending: 0,     // requests to the runner not yet answered
    choices: '',    // the scheduler's choices, for the link
    lateness: [],   // real ms between each write's time and its showing, for bench/lab_page.py
};

function makeWorker() {
    const source = $('engine').textContent + '\n' + $('worker-source').textContent;
    return new Worker(URL.createObjectURL(new Blob([source], {type: 'text/javascript'})));
}

// Two workers run the session for the console: the runner ahead of the
// clock, the drawer for the state as it stands and its timeline, so that a
// drawing never holds up the writes to come.
const runner = makeWorker();
let drawer = null;  // made once the runner's first run is in hand
let nextId = 0;
const waiting = new Map();
function answered(event) {
    const reply = event.data;
    if (reply.kind === 'ready') {
        if (event.target !== runner)
            return;
        rerun();
        return;
    }
    const done = waiting.get(reply.id);
    waiting.delete(reply.id);
    lab.pending--;
    document.body.dataset.pending = String(lab.pending);
    if (done)
        done(reply.answer);
}
runner.onmessage = answered;
function request(worker, kind, fields, done) {
    const id = ++nextId;
    waiting.set(id, done);
    lab.pending++;
    document.body.dataset.pending = String(lab.pending);
    worker.postMessage(Object.assign({kind, id, session: lab.session}, fields));
}

function say(text) { $('message').textContent = text; }

// Runs ahead of the clock, so that the writes to come are known before
// their time; then shows the state as it stands.
// One run at a time: lines typed while one is under way are run together
// after it, so that the last line's writes never wait behind stale runs.
function rerun() {
    if (lab.ahead) {
        lab.rerunWanted = true;
        return;
    }
    const session = lab.session;
    lab.ahead = true;
    request(runner, 'run', {bound: Math.floor(lab.now) + AHEAD, drawn: false}, (answer) => {
        lab.ahead = false;
        // The program starts once its first run is in hand: a fresh
        // worker's first run takes a few hundred ms (later ones a few), by
        // which the program's first writes would otherwise be shown late.
        if (!lab.started) {
            lab.started = true;
            setClock(lab.base);
            // The drawer is made now, not to slow that first run.
            drawer = makeWorker();
            drawer.onmessage = answered;
            request(drawer, 'code', {}, (code) => {
                if (!code.error)
                    lab.code = code;
            });
            document.body.dataset.ready = '1';
            performance.mark('lab-ready');  // for bench/lab_page.py
        }
        if (lab.rerunWanted || session !== lab.session) {
            lab.rerunWanted = false;
            rerun();
            return;
        }
        if (answer.error) {
            say(`The simulator failed: ${answer.error}`);
            return;
        }
        lab.run = answer;
        lab.shown = -1;
        show(true);
    });
}

// The state as it stands and the timeline, asked of the drawer one at a
// time: a request made meanwhile is merged into the next.
let stateAsked = -1;
function askState() {
    const at = Math.floor(lab.now);
    if (stateAsked === at)
        return;
    if (lab.drawing) {
        lab.redraw = true;
        return;
    }
    stateAsked = at;
    lab.drawing = true;
    lab.drawnAt = performance.now();
    request(drawer, 'run', {bound: at, drawn: true}, (answer) => {
        lab.drawing = false;
        if (!answer.error)
            showState(answer);
        if (lab.redraw) {
            lab.redraw = false;
            askState();
        }
    });
}

function clockNow() {
    return lab.pace > 0 && lab.started ? lab.base + (performance.now() - lab.origin) * lab.pace :
                                         lab.base;
}
function setClock(ms, pace) {
    lab.base = ms;
    lab.now = ms;
    lab.origin = performance.now();
    if (pace !== undefined)
        lab.pace = pace;
}

// Shows the writes whose time has come, once each change.
function show(force) {
    const run = lab.run;
    if (!run)
        return;
    let k = 0;
    while (k < run.writes.length && run.writes[k][0] <= lab.now)
        k++;
    const over = run.ended && lab.now >= run.endMs;
    if (!force && k === lab.shown && over === lab.over)
        return;
    const when = performance.now();
    // Writes up to shownUpTo were shown before: a run from the start gives
    // the same past. At the real pace, how late each new one comes.
    if (lab.pace === 1)
        for (let i = 0; i < k; i++)
            if (run.writes[i][0] > lab.shownUpTo)
                lab.lateness.push(when - (lab.origin + (run.writes[i][0] - lab.base)));
    lab.shownUpTo = lab.now;
    lab.shown = k;
    lab.over = over;
    const files = Object.fromEntries(FILES.map((f) => [f, '']));
    let transcript = '';
    for (let i = 0; i < k; i++) {
        const [, , file, bytes, line] = run.writes[i];
        files[file] = (files[file] || '') + bytes;
        transcript += line;
    }
    if (over)
        transcript += run.ending;
    $('transcript').textContent = transcript;
    for (const f of FILES)
        $('file-' + f).textContent = files[f];
    askState();
}

function showState(answer) {
    const rows = [['pool', answer.memory[0]], ['list', answer.memory[1]]];
    const names = answer.threads;
    for (const [t, text] of answer.inside)
        rows.push([names[t] || `thread ${t}`, text]);
    for (const [t, text] of answer.waits)
        rows.push([names[t] || `thread ${t}`, text]);
    const body = $('state');
    body.replaceChildren(...rows.map(([name, text]) => {
        const tr = document.createElement('tr');
        const th = document.createElement('th');
        th.scope = 'row';
        th.textContent = name;
        const td = document.createElement('td');
        const pre = document.createElement('pre');
        pre.textContent = text;
        td.append(pre);
        tr.append(th, td);
        return tr;
    }));
    showCode(answer);
    const img = document.createElement('img');
    img.alt = `the timeline of the session up to ${answer.bound} ms`;
    img.src = 'data:image/svg+xml;charset=utf-8,' + encodeURIComponent(answer.svg);
    $('timeline').replaceChildren(img);
}

// The guard's code with each thread's next line marked, in the explorer's
// code view (explore_code.js), and said in words under it.
function showCode(answer) {
    if (!lab.code)
        return;
    const marks = [], said = [];
    for (const [t, sequence, guard, call, later] of answer.code) {
        const line = codeLineOf(lab.code, sequence, call, later);
        const name = `${answer.threads[t] || `thread ${t}`}, ${guard}`;
        if (line >= 0) {
            marks.push({line, thread: t, name});
            said.push(`${name}: line ${line}, ${call} in ${sequence}`);
        }
    }
    renderCode(
        $('code'), lab.code, marks,
        [said.length ? `At ${answer.bound} ms: ${said.join('; ')}.` :
                       `At ${answer.bound} ms no thread is in one of the guard's sequences.`]);
}

function tick() {
    lab.now = clockNow();
    $('clock').textContent = `${Math.floor(lab.now)} ms`;
    if (lab.run && !lab.run.ended && lab.now > lab.run.bound - AHEAD / 2 && !lab.ahead)
        rerun();
    show(false);
    // Threads go on between writes too: the drawing follows once a second.
    if (lab.run && lab.pace > 0 && performance.now() - (lab.drawnAt || 0) > 1000 &&
        !(lab.run.ended && stateAsked >= lab.run.endMs))
        askState();
    requestAnimationFrame(tick);
}

// Types a line at the time on the clock.
function type(text) {
    const at = Math.floor(lab.now);
    if (lab.session.split('\n').length > LIMITS.lines) {
        say(`A session holds at most ${LIMITS.lines} lines here.`);
        return;
    }
    lab.session += `@${at} ${text}\n`;
    setClock(at);
    showTyped();
    rerun();
}

function showTyped() {
    $('typed').textContent = lab.session;
    saveLink();
}

$('line').addEventListener('keydown', (e) => {
    if (e.key !== 'Enter')
        return;
    e.preventDefault();
    type($('line').value);
    $('line').value = '';
});
$('pace').onchange = () => setClock(clockNow(), Number($('pace').value));
$('next').onclick = () => {
    const run = lab.run;
    const next = run && run.writes.find((w) => w[0] > Math.floor(lab.now));
    if (next) {
        setClock(next[0]);
    } else if (run && !run.ended) {
        // Nothing written within the run ahead: go to its end and run on.
        setClock(run.bound);
        rerun();
    } else {
        say('The program has ended: no write is to come.');
    }
};
$('go').onclick = () => {
    const ms = Number($('goto').value);
    if (!Number.isFinite(ms) || ms < lab.now) {
        say('The clock only goes forward: give a time after the one shown.');
        return;
    }
    setClock(Math.floor(ms));
    rerun();
};
$('clear').onclick = () => {
    lab.session = '';
    lab.shownUpTo = -1;
    setClock(0);
    showTyped();
    rerun();
};
