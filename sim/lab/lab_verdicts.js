// The guard workshop's verdicts: a table of them in words, one column a
// scene checked, and a failing verdict's shortest schedule played, with
// every thread's line marked in the learner's text beside the real guard.
// The learner's text and the checks' sentences are shown as text only.
const LabVerdicts = (() => {
    'use strict';
    const {byId: $, el} = PageKit;
    const {codeLineOf, renderCode} = ExploreCode;
    const Console = LabConsole;

    // Each verdict in words, by the name the check gives it.
    const SAID = {
        'exclusion': 'no writer is inside beside a reader or another writer',
        'no deadlock': 'never does every thread wait with none to wake it',
        'no misuse': 'no unlock of a mutex the thread does not hold, no lock of one it holds, ' +
            'no loop that goes round without waiting, no race on a counter',
        'every run ends': 'every schedule comes to its end (where every thread has its rounds)',
        'writers get in (weak fairness)':
            'a writer that arrives gets in, if each thread that can go on for good gets its turn',
        'readers pass the gate (weak fairness)':
            'a reader at the gate passes it, if each thread that can go on for good gets its turn',
        'writers get in (strong fairness)': 'a writer that arrives gets in, if each thread ' +
            'that can go on again and again gets its turn',
        'readers pass the gate (strong fairness)': 'a reader at the gate passes it, if each ' +
            'thread that can go on again and again gets its turn'
    };

    // The verdicts, one row each, one column a scene.
    function showVerdicts(lab) {
        // [scene, answer] for the scenes checked so far, in the scenes' order.
        const checked =
            lab.guard.checked.map((c, scene) => [scene, c]).filter(([, c]) => c && !c.error);
        if (!checked.length)
            return;
        const head =
            el('tr', {}, el('th', {scope: 'col'}, 'verdict'),
               ...checked.map(
                   ([, c]) =>
                       el('th', {scope: 'col'},
                          `${c.scene}: ${c.states.toLocaleString('en')} states, ${
                              c.transitions.toLocaleString('en')} transitions`)));
        const rows = checked[0][1].verdicts.map(
            (v, k) => el(
                'tr', {},
                el('th', {scope: 'row'}, el('strong', {}, v.name), el('br'),
                   el('span', {className: 'note'}, SAID[v.name] || '')),
                ...checked.map(([scene, c]) => verdictCell(lab, c.verdicts[k], `${scene}.${k}`))));
        $('verdicts')
            .replaceChildren(el('table', {}, el('thead', {}, head), el('tbody', {}, ...rows)));
    }
    function verdictCell(lab, v, key) {
        const td = el('td', {});
        td.dataset.verdict = key;
        td.dataset.holds = String(v.holds);
        if (v.holds) {
            td.append(v.why ? `holds (${v.why})` : 'holds');
            return td;
        }
        td.className = 'fails';
        td.append(
            `fails: ${v.why} `,
            el('button', {onclick: () => showSchedule(lab, key)}, 'show its schedule'));
        return td;
    }

    // A failing verdict's shortest schedule played: each thread's line marked
    // in the learner's text, beside the real guard with the same calls marked.
    function showSchedule(lab, key) {
        const [scene, k] = key.split('.').map(Number);
        const c = lab.guard.checked[scene], v = c && c.verdicts[k];
        if (!v || v.holds)
            return;
        lab.guard.shown = key;
        Console.saveLink(lab);
        delete document.body.dataset.shown;
        const worker = Console.makeWorker();
        const text = lab.guard.text;
        worker.onmessage = (event) => {
            const reply = event.data;
            if (reply.kind === 'ready') {
                worker.postMessage({
                    kind: 'schedule',
                    id: 0,
                    text,
                    scene: lab.guard.scenes[scene],
                    choices: v.schedule
                });
                return;
            }
            worker.terminate();
            const a = reply.answer;
            if (a.error) {
                $('shownschedule')
                    .replaceChildren(
                        el('p', {},
                           `The schedule could not be played: ${a.error.message || a.error}`));
                return;
            }
            const lines = text.split('\n');
            const mine = {
                file: 'your guard',
                leftOutBy: '',
                sequences: [{name: 'your guard', line: 1, text: lines, struck: []}]
            };
            const marks = [], real = [], said = [];
            for (const [t, name, line, sequence, inside] of a.threads) {
                marks.push({line, thread: t, name});
                const call = (lines[line - 1] || '').trim().replace(/;$/, '');
                const realLine = lab.code ? codeLineOf(lab.code, sequence, call, false) : -1;
                if (realLine >= 0)
                    real.push({line: realLine, thread: t, name});
                said.push(
                    inside ? `${name} is inside, in from line ${line} (${sequence})` :
                             `${name} waits at line ${line}, in ${sequence}`);
            }
            const schedule = v.schedule || '(none)';
            const words = `${c.scene}, ${v.name} fails: ${v.why}. Its shortest schedule, ` +
                `choices ${schedule}` + (v.lap ? `, then again and again ${v.lap}` : '') + '.';
            const left = el('div', {}), right = el('div', {});
            renderCode(
                left, mine, marks, [`Your guard: ${said.join('; ') || 'no thread is in it'}.`]);
            if (lab.code)
                renderCode(right, lab.code, real, ['The real guard, the same calls marked.']);
            const note = el('span', {role: 'status'});
            const step = el('button', {}, 'step through it in the explorer');
            step.onclick = () =>
                explore(lab, {scene: lab.guard.scenes[scene], text, v, step, note});
            $('shownschedule')
                .replaceChildren(
                    el('p', {}, words), el('div', {className: 'pair'}, left, right),
                    el('p', {}, step, ' ', note));
            $('guardexplorer').hidden = true;
            document.body.dataset.shown = key;  // for the checks
        };
    }

    // The schedule in the explorer: every state of the scene on the
    // learner's guard, beside the real guard taking the same threads' steps.
    function explore(lab, {scene, text, v, step, note}) {
        delete document.body.dataset.guardexplored;
        note.textContent = 'making every state of the scene on your guard and on the real one…';
        const choices = [v.schedule, v.lap].filter(Boolean).join(' ');
        LabTools.openExplorer({
            frame: $('guardexplorer'),
            note,
            button: step,
            request: {kind: 'guardexplore', text, scene},
            scene: 'guard',
            choices,
            ready: () => {
                note.textContent = v.lap ?
                    'Ready: the schedule and one lap of it, which can be taken again and again.' :
                    'Ready: the schedule, played to its failure; go back or pick another thread.';
                document.body.dataset.guardexplored = '1';  // for the checks
            }
        });
    }

    return Object.freeze({showVerdicts, showSchedule});
})();
