// The lab's tools beside the console (after lab.js, in the same script):
// every schedule of the session, the explorer on it, and the link that
// holds the session and the scheduler's choices.

// A worker for the long jobs, made afresh for each so that it can be stopped.
let searcher = null;
function stopSearcher() {
    if (searcher)
        searcher.terminate();
    searcher = null;
    $('stop').disabled = true;
    $('search').disabled = false;
    $('progress').hidden = true;
    clearTimeout(stopSearcher.timer);
}

function everySchedule() {
    stopSearcher();
    const maxStates = Math.max(1, Math.floor(Number($('maxstates').value) || 200000));
    const seconds = Math.max(1, Number($('maxseconds').value) || 30);
    const started = performance.now();
    searcher = makeWorker();
    $('search').disabled = true;
    $('stop').disabled = false;
    $('progress').hidden = false;
    $('progress').removeAttribute('value');
    $('report').textContent = '';
    $('shortest').replaceChildren();
    $('searchnote').textContent = 'searching…';
    stopSearcher.timer = setTimeout(() => {
        stopSearcher();
        $('searchnote').textContent =
            `Stopped at the bound of ${seconds} s: not every schedule was seen.`;
    }, seconds * 1000);
    searcher.onmessage = (event) => {
        const reply = event.data;
        if (reply.kind === 'ready')
            searcher.postMessage({kind: 'search', id: 0, session: lab.session, maxStates});
        else if (reply.kind === 'progress')
            $('searchnote').textContent =
                `searching… ${reply.steps.toLocaleString('en')} steps looked at`;
        else if (reply.kind === 'search') {
            const a = reply.answer;
            const ms = Math.round(performance.now() - started);
            stopSearcher();
            if (a.error) {
                $('searchnote').textContent = `The search failed: ${a.error}`;
                return;
            }
            $('report').textContent = a.report;
            showShortest(a.shortest);
            $('searchnote').textContent =
                (a.complete ?
                     `Every schedule seen in ${ms} ms.` :
                     `Stopped at the bound of ${
                         maxStates.toLocaleString('en')} states: not every schedule was seen.`) +
                (a.failure ? ' A schedule fails: see the report.' : '');
            document.body.dataset.searched = String(ms);  // for the checks and bench/lab_page.py
        }
    };
}
$('search').onclick = everySchedule;

// Each distinct outcome with a shortest schedule to it, to play in the explorer.
function showShortest(shortest) {
    $('shortest').replaceChildren(...shortest.map(([ending, steps, choices]) => {
        const li = document.createElement('li');
        li.dataset.choices = choices;  // for the checks
        li.dataset.ending = ending;
        const go = document.createElement('button');
        go.textContent = 'be the scheduler on it';
        go.onclick = () => {
            lab.choices = choices.trim().split(/\s+/).filter(Boolean).join(',');
            saveLink();
            explore(choices);
        };
        li.append(`${ending.trim()}: in ${steps} steps, choices ${choices || '(none)'} `, go);
        return li;
    }));
}
$('stop').onclick = () => {
    stopSearcher();
    $('searchnote').textContent = 'Stopped: not every schedule was seen.';
};

// The explorer page of the session, made in a worker, shown in a frame.
function explore(choices) {
    const worker = makeWorker();
    $('explore').disabled = true;
    delete document.body.dataset.explored;
    $('explorenote').textContent = 'making every state of the session…';
    worker.onmessage = (event) => {
        const reply = event.data;
        if (reply.kind === 'ready') {
            worker.postMessage({kind: 'explore', id: 0, session: lab.session});
            return;
        }
        worker.terminate();
        $('explore').disabled = false;
        const html = reply.answer.html || '';
        if (reply.answer.error || html.startsWith('{"error"')) {
            $('explorenote').textContent =
                'The explorer could not be made: ' + (reply.answer.error || JSON.parse(html).error);
            return;
        }
        const frame = $('explorer');
        frame.onload = () => {
            const inner = frame.contentWindow;
            const ready = () => {
                // The scheduler's choices follow into the link (the explorer
                // replaces its address without an event).
                clearInterval(explore.timer);
                explore.timer = setInterval(() => followChoices(inner), 400);
                $('explorenote').textContent = 'Ready: pick who goes next.';
                document.body.dataset.explored = '1';
            };
            if (!choices) {
                ready();
                return;
            }
            // The explorer writes its own address a moment after it starts,
            // which would overwrite the choices given before: they are given
            // once it has, and it is ready once it has followed them.
            const started = performance.now();
            const give = () => {
                if (!inner.location.hash && performance.now() - started < 3000) {
                    setTimeout(give, 50);
                    return;
                }
                inner.addEventListener('hashchange', () => setTimeout(ready), {once: true});
                inner.location.hash = `scene=session&replay=${encodeURIComponent(choices)}`;
            };
            give();
        };
        frame.hidden = false;
        frame.srcdoc = html;
    };
}
function followChoices(inner) {
    const replay = new URLSearchParams(inner.location.hash.slice(1)).get('replay');
    if (replay !== null) {
        lab.choices = replay.trim().split(/\s+/).filter(Boolean).join(',');
        saveLink();
    }
}
$('explore').onclick = () => explore(lab.choices.replaceAll(',', ' '));

// The link: #session=<text>&choices=<n,n,...>.
function linkHash() {
    const params = new URLSearchParams();
    params.set('session', lab.session);
    if (lab.choices)
        params.set('choices', lab.choices);
    return '#' + params.toString();
}
let saveTimer = 0;
function saveLink() {
    clearTimeout(saveTimer);
    saveTimer = setTimeout(() => {
        try {
            history.replaceState(null, '', linkHash());
        } catch (e) {
            // Some browsers refuse it for a file; the copied link still holds it.
        }
    }, 200);
}
$('copylink').onclick = () => {
    const link = location.href.split('#')[0] + linkHash();
    const field = $('link');
    field.value = link;
    const copied = () => ($('copied').textContent = 'Link copied.');
    const shown = () => {
        field.hidden = false;
        field.select();
        $('copied').textContent =
            document.execCommand('copy') ? 'Link copied.' : 'Copy the link from the box.';
    };
    if (navigator.clipboard && navigator.clipboard.writeText)
        navigator.clipboard.writeText(link).then(copied, shown);
    else
        shown();
};

// Restores a link's session and choices; anything wrong with it is said,
// and the page goes on with an empty session.
function restore() {
    const hash = location.hash.slice(1);
    if (!hash)
        return;
    try {
        if (hash.length > LIMITS.fragment)
            throw new Error(
                `the link is too long (${hash.length.toLocaleString('en')} characters; at most ${
                    LIMITS.fragment.toLocaleString('en')})`);
        const params = new URLSearchParams(hash);
        const session = params.get('session') || '';
        const choices = (params.get('choices') || '').trim();
        const lines = session.split('\n').length;
        if (lines > LIMITS.lines)
            throw new Error(
                `its session has ${lines.toLocaleString('en')} lines (at most ${LIMITS.lines})`);
        if (new TextEncoder().encode(session).length > LIMITS.bytes)
            throw new Error(
                `its session is longer than ${LIMITS.bytes.toLocaleString('en')} bytes`);
        if (!/^[0-9]*(,[0-9]+)*$/.test(choices) || choices.split(',').length > LIMITS.choices)
            throw new Error('its choices are not a list of thread numbers separated by commas');
        lab.session = session && !session.endsWith('\n') ? session + '\n' : session;
        lab.choices = choices;
        // The clock stands at the last line's time, paused.
        let last = 0;
        for (const m of session.matchAll(/^@(\d+)/gm))
            last = Math.max(last, Number(m[1]));
        setClock(last, 0);
        $('pace').value = '0';
        showTyped();
        if (choices)
            explore(choices.replaceAll(',', ' '));
    } catch (error) {
        lab.session = '';
        lab.choices = '';
        say(`This link cannot be opened: ${error.message}. The lab starts empty instead.`);
    }
}

for (const f of FILES) {
    const box = document.createElement('div');
    const h = document.createElement('h3');
    h.textContent = f === 'stdout' ? 'standard output' :
        f === 'stderr'             ? 'standard error' :
                                     `log ${f}`;
    h.id = 'h-file-' + f;
    const pre = document.createElement('pre');
    pre.id = 'file-' + f;
    pre.className = 'box';
    pre.tabIndex = 0;
    pre.setAttribute('role', 'region');
    pre.setAttribute('aria-labelledby', h.id);
    box.append(h, pre);
    $('files').append(box);
}
document.body.dataset.pending = '0';
restore();
setClock(lab.base);
requestAnimationFrame(tick);
