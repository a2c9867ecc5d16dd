// Every text of the page, one table per language. The button names are also their accessible
// names, which screen readers announce and the tests look the buttons up by.

const en = {
  lang: 'en',
  title: 'Keypilot remote',
  heading: 'Keypilot',
  buttons: {
    up: 'Up',
    down: 'Down',
    left: 'Left',
    right: 'Right',
    click: 'Click',
    escape: 'Escape',
    pageUp: 'Page up',
    pageDown: 'Page down',
    volumeUp: 'Volume up',
    volumeDown: 'Volume down',
    start: 'Start menu',
    run: 'Run program',
    connect: 'Connect',
  },
  captions: {
    click: 'Click',
    escape: 'Esc',
    start: 'Start',
    run: 'Run',
    volume: 'Vol',
    page: 'Page',
    rightClick: 'Right click',
    type: 'Type',
    enter: 'Enter',
    backspace: 'Backspace',
    tab: 'Tab',
    prevSlide: 'Back',
    nextSlide: 'Next',
    startShow: 'Start show',
    black: 'Black',
    endShow: 'End show',
  },
  tabs: { remote: 'Remote', touchpad: 'Touchpad', keyboard: 'Keyboard', media: 'Media', buttons: 'Buttons' },
  // Accessible names of the other views' controls, where not their captions or tabs.
  labels: {
    scrollUp: 'Scroll up',
    scrollDown: 'Scroll down',
    playPause: 'Play/pause',
    nextTrack: 'Next track',
    prevTrack: 'Previous track',
    mute: 'Mute',
    startShow: 'Start slideshow',
    nextSlide: 'Next slide',
    prevSlide: 'Previous slide',
    endShow: 'End slideshow',
    black: 'Black screen',
    volume: 'Volume',
  },
  speed: 'Pointer speed',
  volumeNeedsNewer: 'The volume slider needs a newer Keypilot.',
  textToType: 'Text to type',
  help: ['On the PC, open Keypilot’s “Connect a phone”.', 'Here, press Connect.', 'Pick the PC.'],
  needsNewer:
    'This needs a newer Keypilot on the PC. Update Keypilot, then open this page from its ' +
    '“Connect a phone” again. The Remote works as it is.',
  // The Buttons view: the buttons made on the PC.
  pcButtons: {
    needsNewer: 'The PC’s buttons need a newer Keypilot on the PC.',
    notYet: 'The PC’s buttons show here once connected.',
    none: 'No buttons: make them in Keypilot’s “Phone buttons” on the PC.',
    confirm: 'Confirm',
    cancel: 'Cancel',
    confirmWithin: (seconds) => `Confirm within ${seconds} s.`,
    // Why a press did nothing ('': for a reason unknown here).
    failed: (name, why) => `“${name}”: ${why}`,
    why: {
      '': 'did not work.',
      notFound: 'not found on the PC.',
      denied: 'permission denied.',
      noProgram: 'no program opens it.',
      busy: 'PC busy; try again.',
      refused: 'Windows refused it.',
      noToken: 'no confirmation code.',
    },
  },

  status: {
    connected: 'Connected',
    connectedTo: (name, version) => `Connected to ${name} — Keypilot ${version}`,
    connectedToKeypilot: (version) => `Connected — Keypilot ${version}`,
    connecting: 'Connecting…',
    notChosen: 'Not connected: press Connect and choose your PC.',
    cancelled: 'Not connected: no PC was chosen.',
    blocked: 'Not connected: this page may not use serial ports here.',
    noAnswer: 'Not connected: the PC did not answer. Is Keypilot running?',
    lost: 'Not connected: the link was lost.',
    gone: 'Not connected: the PC is out of reach. Waiting for it to come back…',
    unsupported: 'Not available in this browser.',
    retryIn: (seconds) => `Trying again in ${seconds} s.`,
  },
  keysOff: 'The keys work once the remote is connected.',
  unsupported:
    'This browser cannot open a Bluetooth serial link, so it cannot be the remote. ' +
    'Use Chrome 138 or later on an Android phone, or a serial terminal app as described in ' +
    'the phone guide (docs/phone.md). An iPhone cannot do it: it offers no Bluetooth serial ' +
    'link to apps or pages.',
};

const ru = {
  lang: 'ru',
  title: 'Пульт Keypilot',
  heading: 'Keypilot',
  buttons: {
    up: 'Вверх',
    down: 'Вниз',
    left: 'Влево',
    right: 'Вправо',
    click: 'Щелчок',
    escape: 'Клавиша Esc',
    pageUp: 'Страница вверх',
    pageDown: 'Страница вниз',
    volumeUp: 'Громче',
    volumeDown: 'Тише',
    start: 'Меню «Пуск»',
    run: 'Запуск программы',
    connect: 'Подключить',
  },
  captions: {
    click: 'Щелчок',
    escape: 'Esc',
    start: 'Пуск',
    run: 'Запуск',
    volume: 'Звук',
    page: 'Стр.',
    rightClick: 'Правый щелчок',
    type: 'Напечатать',
    enter: 'Ввод',
    backspace: 'Стереть',
    tab: 'Tab',
    prevSlide: 'Назад',
    nextSlide: 'Далее',
    startShow: 'Показ',
    black: 'Чёрный',
    endShow: 'Конец',
  },
  tabs: { remote: 'Пульт', touchpad: 'Тачпад', keyboard: 'Клавиатура', media: 'Медиа', buttons: 'Кнопки' },
  labels: {
    scrollUp: 'Прокрутка вверх',
    scrollDown: 'Прокрутка вниз',
    playPause: 'Воспроизведение и пауза',
    nextTrack: 'Следующий трек',
    prevTrack: 'Предыдущий трек',
    mute: 'Выключить звук',
    startShow: 'Начать показ слайдов',
    nextSlide: 'Следующий слайд',
    prevSlide: 'Предыдущий слайд',
    endShow: 'Завершить показ',
    black: 'Чёрный экран',
    volume: 'Громкость',
  },
  speed: 'Скорость указателя',
  volumeNeedsNewer: 'Для ползунка громкости нужен Keypilot новее.',
  textToType: 'Текст для ввода',
  help: ['На компьютере откройте в Keypilot «Подключить телефон».', 'Здесь нажмите «Подключить».', 'Выберите компьютер.'],
  needsNewer:
    'Для этого нужен более новый Keypilot на компьютере. Обновите Keypilot и снова откройте ' +
    'эту страницу из его окна «Подключить телефон». Пульт работает и так.',
  pcButtons: {
    needsNewer: 'Для кнопок компьютера нужен Keypilot новее.',
    notYet: 'Кнопки компьютера появятся после подключения.',
    none: 'Кнопок нет: создайте их в Keypilot, в окне «Кнопки телефона».',
    confirm: 'Подтвердить',
    cancel: 'Отмена',
    confirmWithin: (seconds) => `Подтвердите за ${seconds} с.`,
    failed: (name, why) => `«${name}»: ${why}`,
    why: {
      '': 'не сработало.',
      notFound: 'не найдено.',
      denied: 'нет прав.',
      noProgram: 'нечем открыть.',
      busy: 'ПК занят, повторите.',
      refused: 'Windows отказала.',
      noToken: 'нет кода подтверждения.',
    },
  },

  status: {
    connected: 'Подключено',
    connectedTo: (name, version) => `Подключено к ${name} — Keypilot ${version}`,
    connectedToKeypilot: (version) => `Подключено — Keypilot ${version}`,
    connecting: 'Подключение…',
    notChosen: 'Не подключено: нажмите «Подключить» и выберите компьютер.',
    cancelled: 'Не подключено: компьютер не выбран.',
    blocked: 'Не подключено: здесь этой странице нельзя открывать последовательные порты.',
    noAnswer: 'Не подключено: компьютер не ответил. Запущен ли Keypilot?',
    lost: 'Не подключено: связь прервалась.',
    gone: 'Не подключено: компьютер вне досягаемости. Ждём, когда он появится…',
    unsupported: 'В этом браузере недоступно.',
    retryIn: (seconds) => `Новая попытка через ${seconds} с.`,
  },
  keysOff: 'Кнопки заработают, когда пульт подключится.',
  unsupported:
    'Этот браузер не умеет открывать последовательный порт Bluetooth, поэтому пультом он быть ' +
    'не может. Откройте страницу в Chrome 138 или новее на телефоне с Android или воспользуйтесь ' +
    'приложением-терминалом, как описано в руководстве (docs/phone.md). С iPhone это невозможно: ' +
    'он не даёт приложениям и страницам последовательного соединения по Bluetooth.',
};

export const languages = { en, ru };

// The first of the browser's preferred languages that the page speaks, by its primary subtag
// ("ru-RU" → ru); English when none is.
export function chooseLanguage(preferred) {
  for (const tag of preferred ?? []) {
    const primary = String(tag).toLowerCase().split('-')[0];
    if (Object.hasOwn(languages, primary)) return languages[primary];
  }
  return en;
}
