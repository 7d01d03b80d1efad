// The lab's start: its state, the runner, the output and log panes, the
// controls, and the session and choices of the link it was opened with.
// `Lab` is how bench/lab_page.py reads how late the writes were shown.
const Lab = (() => {
    'use strict';
    const {byId: $, el} = PageKit;
    const Console = LabConsole;
    const Tools = LabTools;
    const Workshop = LabWorkshop;

    const lab = Console.create();
    Console.startRunner(lab);

    $('line').addEventListener('keydown', (e) => {
        if (e.key !== 'Enter')
            return;
        e.preventDefault();
        Console.type(lab, $('line').value);
        $('line').value = '';
    });
    // A session pasted whole is typed line by line, each at the clock or at
    // its own "@<ms>", as a session file has them.
    $('line').addEventListener('paste', (e) => {
        const text = (e.clipboardData || {getData: () => ''}).getData('text');
        if (!/[\r\n]/.test(text))
            return;
        e.preventDefault();
        const lines = text.replace(/\r\n?/g, '\n').replace(/\n$/, '').split('\n');
        lines[0] = $('line').value + lines[0];
        $('line').value = '';
        // A line refused is left at the prompt to mend; the rest go no further.
        const refused = lines.findIndex((line) => !Console.type(lab, line));
        if (refused >= 0) {
            $('line').value = lines[refused];
            if (refused + 1 < lines.length)
                $('message').append(
                    ` The ${lines.length - refused - 1} line(s) after it were not typed.`);
        }
    });
    $('pace').onchange = () =>
        Console.setClock(lab, Console.clockNow(lab), Number($('pace').value));
    $('next').onclick = () => {
        const run = lab.run;
        const next = run && run.writes.find((w) => w[0] > Math.floor(lab.now));
        if (next) {
            Console.setClock(lab, next[0]);
        } else if (run && !run.ended) {
            // Nothing written within the run ahead: go to its end and run on.
            Console.setClock(lab, run.bound);
            Console.rerun(lab);
        } else {
            Console.say('The program has ended: no write is to come.');
        }
    };
    $('go').onclick = () => {
        const ms = Number($('goto').value);
        if (!Number.isFinite(ms) || ms < 0) {
            Console.say('Give a time in ms, from 0.');
            return;
        }
        if (ms < Math.floor(lab.now)) {
            const taken = Console.rewind(lab, Math.floor(ms));
            Console.say(
                `Went back to ${Math.floor(ms).toLocaleString('en')} ms` +
                (taken ? `: the ${taken} line(s) typed from then on were taken back` : '') +
                '. Type from here.');
            return;
        }
        if (ms > Console.LIMITS.ms) {
            Console.say(Console.PAST_LIMIT);
            return;
        }
        Console.setClock(lab, Math.floor(ms));
        Console.rerun(lab);
    };
    $('clear').onclick = () => {
        lab.session = '';
        lab.shownUpTo = -1;
        Console.setClock(lab, 0);
        Console.showTyped(lab);
        Console.rerun(lab);
    };
    $('search').onclick = () => Tools.everySchedule(lab);
    $('stop').onclick = () => Tools.stopSearch(lab);
    $('explore').onclick = () => Tools.explore(lab, lab.choices.replaceAll(',', ' '));
    $('copylink').onclick = () => Tools.copyLink(lab);

    for (const f of Console.FILES) {
        const h =
            el('h3', {id: 'h-file-' + f},
               f === 'stdout'     ? 'standard output' :
                   f === 'stderr' ? 'standard error' :
                                    `log ${f}`);
        const pre = el('pre', {id: 'file-' + f, className: 'box', tabIndex: 0});
        pre.setAttribute('role', 'region');
        pre.setAttribute('aria-labelledby', h.id);
        $('files').append(el('div', {}, h, pre));
    }
    document.body.dataset.pending = '0';
    Workshop.start(lab);
    Tools.restore(lab, location.hash);
    Workshop.restore(lab, location.hash);
    LabLevels.start(lab);
    LabLevels.restore(lab, location.hash);
    Console.setClock(lab, lab.base);
    Console.tick(lab);
    // The prompt is where a learner starts.
    $('line').focus({preventScroll: true});

    return Object.freeze({lateness: () => lab.lateness.slice()});
})();
